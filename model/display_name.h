#pragma once
// The one way the window turns a name's (or a path's) bytes into text: one
// line, escapes for what cannot be shown as it is, two different names never
// the same text (platform/name_text.h has the rules). Whatever acts on the
// item keeps using its bytes; this text is for the eyes only.
#include <QList>
#include <QString>
#include <string_view>

QString DisplayName(std::string_view raw);

// The same text with where its escapes stand, for a view that shows them in
// a style of their own: (start, length) pairs in UTF-16 units, in order, one
// after another in a flat list (a QVariant carries it as it is).
struct TDisplayName {
  QString text;
  QList<int> escapes;
};
TDisplayName DisplayNameMarked(std::string_view raw);

// The item data role of a name's escapes in the window's item models
// (TDisplayName::escapes; none for a name that shows as it is).
inline constexpr int kNameEscapesRole = Qt::UserRole + 16;
