#include <windows.h>

#include <QSocketNotifier>
#include <QWinEventNotifier>

#include "platform/win32_text.h"
#include "support/fs_change_notifier.h"

namespace {

constexpr DWORD kFilter = FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_DIR_NAME | FILE_NOTIFY_CHANGE_ATTRIBUTES |
                          FILE_NOTIFY_CHANGE_LAST_WRITE;

bool isFolder(const std::wstring& path) {
  const DWORD a = GetFileAttributesW(path.c_str());
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

}  // namespace

struct TFSChangeNotifier::Pending {
  HANDLE dir = INVALID_HANDLE_VALUE;
  OVERLAPPED overlapped{};
  alignas(DWORD) BYTE buffer[16384];
  std::wstring path;  // the folder as the W calls take it
};

TFSChangeNotifier::TFSChangeNotifier(const std::string& folder) : m_folder(folder) {
  auto p = std::make_unique<Pending>();
  p->path = platform::win32::longPath(folder);
  // Shared for deleting: the watch never keeps the folder from being
  // deleted or renamed.
  p->dir = CreateFileW(p->path.c_str(), FILE_LIST_DIRECTORY, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                       nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OVERLAPPED, nullptr);
  if (p->dir == INVALID_HANDLE_VALUE) return;  // never reports
  p->overlapped.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  if (!p->overlapped.hEvent) {
    CloseHandle(p->dir);
    return;
  }
  m_pending = std::move(p);
  if (!listen()) return;
  m_watch = 0;
  startBurstTimers();
  m_event = std::make_unique<QWinEventNotifier>(m_pending->overlapped.hEvent);
  // The event is the notifier's to the end, which may come after this object's.
  const HANDLE event = m_pending->overlapped.hEvent;
  QObject::connect(m_event.get(), &QObject::destroyed, [event] { CloseHandle(event); });
  QObject::connect(m_event.get(), &QWinEventNotifier::activated, [this] { readEvents(); });
}

bool TFSChangeNotifier::listen() {
  ResetEvent(m_pending->overlapped.hEvent);
  return ReadDirectoryChangesW(m_pending->dir, m_pending->buffer, sizeof m_pending->buffer, FALSE, kFilter, nullptr,
                               &m_pending->overlapped, nullptr) != 0;
}

TFSChangeNotifier::~TFSChangeNotifier() {
  OnChange = nullptr;
  OnGone = nullptr;
  if (m_event) {
    // It may be this notifier's own signal that is running: let Qt delete it
    // once the signal has returned.
    m_event->setEnabled(false);
    m_event.release()->deleteLater();
  }
  stopBurstTimers();
  if (m_pending) {
    // The read in flight writes into the buffer until it has been cancelled
    // and has completed: waited for before the buffer goes.
    if (CancelIoEx(m_pending->dir, &m_pending->overlapped) || GetLastError() != ERROR_NOT_FOUND) {
      DWORD ignored;
      GetOverlappedResult(m_pending->dir, &m_pending->overlapped, &ignored, TRUE);
    }
    CloseHandle(m_pending->dir);
    if (!m_event) CloseHandle(m_pending->overlapped.hEvent);  // else closed with its notifier
  }
}

void TFSChangeNotifier::readEvents() {
  DWORD bytes = 0;
  const bool ok = GetOverlappedResult(m_pending->dir, &m_pending->overlapped, &bytes, FALSE) != 0;
  // The folder itself went away (deleted or moved): its path leads to no
  // folder now. A full buffer (0 bytes) still means changes.
  bool gone = !isFolder(m_pending->path);
  if (!gone && ok && bytes > 0) {
    for (DWORD at = 0;;) {
      const auto* e = reinterpret_cast<const FILE_NOTIFY_INFORMATION*>(m_pending->buffer + at);
      if (m_pendingCode == 0) {
        const std::wstring name(e->FileName, e->FileNameLength / sizeof(wchar_t));
        switch (e->Action) {
          case FILE_ACTION_ADDED:
            m_pendingCode = isFolder(m_pending->path + L"\\" + name) ? kMkDir : kCreate;
            break;
          case FILE_ACTION_REMOVED: m_pendingCode = kDelete; break;
          case FILE_ACTION_RENAMED_OLD_NAME:
          case FILE_ACTION_RENAMED_NEW_NAME:
            m_pendingCode = isFolder(m_pending->path + L"\\" + name) ? kRenameFolder : kRenameItem;
            break;
          default: m_pendingCode = kUpdateItem; break;
        }
      }
      if (e->NextEntryOffset == 0) break;
      at += e->NextEntryOffset;
    }
  } else if (!gone) {
    m_pendingCode = m_pendingCode ? m_pendingCode : kUpdateItem;  // too many to list: something changed
  }
  if (gone || !listen()) {
    m_event->setEnabled(false);
    watchEnded();
    return;
  }
  burst();
}
