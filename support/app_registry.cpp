#include "support/app_registry.h"

#include "platform/registry_store.h"

TAppRegistry::TAppRegistry(std::string filePath) : m_filePath(std::move(filePath)) {}
TAppRegistry::~TAppRegistry() = default;

bool TAppRegistry::OpenKey(const std::string& key, bool canCreate) {
  m_key = std::make_unique<platform::RegistryKey>(key, m_filePath);
  m_dirty = false;
  m_storeFile = m_key->filePath();
  if (canCreate) {
    // Opened to be written: the file is read when the key is stored, not now.
    m_state = FileState::Sound;
    m_problem.clear();
    return true;
  }
  using State = platform::RegistryKey::FileState;
  const State state = m_key->fileState();
  m_state = state == State::Unreadable ? FileState::Unreadable : state == State::Foreign ? FileState::Foreign : FileState::Sound;
  m_problem = m_key->fileProblem();
  if (!m_key->exists()) {
    m_key.reset();
    return false;
  }
  return true;
}

std::optional<std::string> TAppRegistry::SetStoreAside(std::string& problem) const {
  return platform::setRegistryFileAside(m_storeFile, problem);
}

std::optional<int32_t> TAppRegistry::ReadInteger(const std::string& name) const {
  return m_key ? m_key->readInteger(name) : std::nullopt;
}

int32_t TAppRegistry::ReadIntegerDefault(const std::string& name, int32_t fallback) const {
  return ReadInteger(name).value_or(fallback);
}

bool TAppRegistry::ReadBoolDefault(const std::string& name, bool fallback) const {
  const auto v = ReadInteger(name);
  return v ? *v != 0 : fallback;
}

void TAppRegistry::WriteInteger(const std::string& name, int32_t value) {
  if (!m_key) return;
  m_key->writeInteger(name, value);
  m_dirty = true;
}

void TAppRegistry::WriteBool(const std::string& name, bool value) { WriteInteger(name, value ? 1 : 0); }

bool TAppRegistry::CloseKey() {
  const bool ok = !m_key || !m_dirty || m_key->save();
  m_key.reset();
  m_dirty = false;
  return ok;
}
