// The entries of a listing; reading a folder is the platform's own
// (directory_read.cpp, directory_read_win32.cpp).
#include "model/directory_list.h"

#include "platform/path.h"

namespace {

size_t nameStart(std::string_view fullPath) {
  const size_t delim = fullPath.rfind(platform::kPathDelim);
  return delim == std::string_view::npos ? 0 : delim + 1;
}

}  // namespace

TDirectoryItem::TDirectoryItem(std::string fullPath, uint32_t knownAttributes)
    : FullPath(std::move(fullPath)), m_nameAt(nameStart(FullPath)), m_attributes(knownAttributes) {}

TDirectoryItem::TDirectoryItem(const TWin32FindData& findData, std::string fullPath)
    : FullPath(std::move(fullPath)),
      m_nameAt(nameStart(FullPath)),
      m_attributes(findData.dwFileAttributes),
      m_findData(std::make_unique<TWin32FindData>(findData)) {}

TDirectoryItem::~TDirectoryItem() = default;

std::string_view TDirectoryItem::Name() const {
  if (m_findData && m_findData->cFileName[0]) return m_findData->cFileName;
  return std::string_view(FullPath).substr(m_nameAt);
}

std::string TDirectoryItem::GetShortName() const { return {}; }
