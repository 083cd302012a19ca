#include "support/help_hook.h"

#include "support/help_window.h"

namespace {
THtmlHelpHook* g_hook = nullptr;  // the program's one hook; not owning
}

THtmlHelpHook::THtmlHelpHook(std::string helpFile, Viewer viewer)
    : m_helpFile(std::move(helpFile)), m_viewer(std::move(viewer)) {
  if (!m_viewer) m_viewer = &THelpWindow::Show;
  g_hook = this;
}

THtmlHelpHook::~THtmlHelpHook() {
  if (g_hook == this) g_hook = nullptr;
}

uint32_t THtmlHelpHook::Translate(uint16_t command) {
  switch (command) {
    case HELP_CONTEXT: return HH_HELP_CONTEXT;
    case HELP_CONTEXTPOPUP: return HH_DISPLAY_TEXT_POPUP;
    case HELP_FINDER: return HH_DISPLAY_TOPIC;
    default: return command;
  }
}

bool THtmlHelpHook::HelpCommand(uint16_t command, uintptr_t data) {
  m_viewer(m_helpFile, Translate(command), data);
  return true;
}

bool THtmlHelpHook::Request(uint16_t command, uintptr_t data) { return g_hook && g_hook->HelpCommand(command, data); }

THtmlHelpHook* THtmlHelpHook::current() { return g_hook; }
