#pragma once
// A file system mounted for one test and unmounted when it ends: a tmpfs with
// limits of its own, an ext4 volume in a loop image (for tools that refuse a
// tmpfs), or a bind mount. Mounting needs root; without it, or where the
// machine does not allow it, mounted() is false and why() says why, so the
// test can skip.
#include <string>

namespace testsupport {

class ScopedMount {
 public:
  // A tmpfs on target (an existing folder); options as mount -o takes them
  // ("size=64k,nr_inodes=20").
  static ScopedMount tmpfs(const std::string& target, const std::string& options = "size=4m");
  // A fresh ext4 volume of sizeMiB in an image file beside target, on target.
  static ScopedMount ext4Image(const std::string& target, int sizeMiB = 8);
  // source (a folder or a file) seen again at target; read-only when asked.
  static ScopedMount bind(const std::string& source, const std::string& target, bool readOnly = false);

  ScopedMount(ScopedMount&& other) noexcept;
  ScopedMount(const ScopedMount&) = delete;
  ScopedMount& operator=(const ScopedMount&) = delete;
  ScopedMount& operator=(ScopedMount&&) = delete;
  ~ScopedMount();  // unmounts (lazily when still busy) and removes the image

  bool mounted() const { return m_mounted; }
  const std::string& why() const { return m_why; }
  const std::string& target() const { return m_target; }

 private:
  ScopedMount() = default;
  std::string m_target, m_image, m_why;
  bool m_mounted = false;
};

}  // namespace testsupport
