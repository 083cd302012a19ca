#pragma once
namespace platform {
// Without a desktop session (offscreen, a bare X server) Qt knows no icon
// theme and every themed icon is empty; fall back to an installed theme.
void ensureIconTheme();
}
