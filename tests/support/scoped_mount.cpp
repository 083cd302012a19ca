#include "scoped_mount.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <sys/mount.h>
#include <unistd.h>

namespace testsupport {
namespace {

std::string quoted(const std::string& s) {
  std::string out = "'";
  for (char c : s) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

}  // namespace

ScopedMount ScopedMount::tmpfs(const std::string& target, const std::string& options) {
  ScopedMount m;
  m.m_target = target;
  m.m_mounted = ::mount("tmpfs", target.c_str(), "tmpfs", 0, options.c_str()) == 0;
  if (!m.m_mounted) m.m_why = "mounting a tmpfs: " + std::string(std::strerror(errno));
  return m;
}

ScopedMount ScopedMount::ext4Image(const std::string& target, int sizeMiB) {
  ScopedMount m;
  m.m_target = target;
  m.m_image = target + ".img";
  // mkfs and mount's loop set-up are the tools' own; the loop device goes
  // with the unmount (autoclear).
  const std::string make = "truncate -s " + std::to_string(sizeMiB) + "M " + quoted(m.m_image) +
                           " && mkfs.ext4 -q -F " + quoted(m.m_image) + " >/dev/null 2>&1";
  if (std::system(make.c_str()) != 0) {
    m.m_why = "mkfs.ext4 is missing or failed";
    return m;
  }
  m.m_mounted = std::system(("mount -o loop " + quoted(m.m_image) + " " + quoted(target) + " 2>/dev/null").c_str()) == 0;
  if (!m.m_mounted) m.m_why = "mounting a loop image is not permitted here";
  return m;
}

ScopedMount ScopedMount::bind(const std::string& source, const std::string& target, bool readOnly) {
  ScopedMount m;
  m.m_target = target;
  m.m_mounted = ::mount(source.c_str(), target.c_str(), nullptr, MS_BIND, nullptr) == 0;
  if (!m.m_mounted) {
    m.m_why = "a bind mount: " + std::string(std::strerror(errno));
    return m;
  }
  if (readOnly && ::mount(nullptr, target.c_str(), nullptr, MS_BIND | MS_REMOUNT | MS_RDONLY, nullptr) != 0) {
    m.m_why = "a read-only bind mount: " + std::string(std::strerror(errno));
    ::umount2(target.c_str(), MNT_DETACH);
    m.m_mounted = false;
  }
  return m;
}

ScopedMount::ScopedMount(ScopedMount&& other) noexcept
    : m_target(std::move(other.m_target)), m_image(std::move(other.m_image)), m_why(std::move(other.m_why)),
      m_mounted(other.m_mounted) {
  other.m_mounted = false;
  other.m_image.clear();
}

ScopedMount::~ScopedMount() {
  if (m_mounted && ::umount2(m_target.c_str(), 0) != 0) ::umount2(m_target.c_str(), MNT_DETACH);
  if (!m_image.empty()) ::unlink(m_image.c_str());
}

}  // namespace testsupport
