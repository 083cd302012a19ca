// What a registry key's values are to its callers, whichever store keeps
// them (the settings file, or the Windows registry): typed reads, and writes
// kept in order until the key is saved.
#include "platform/registry_store.h"

namespace platform {

std::string foldValueName(const std::string& name) {
  std::string out = name;
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return out;
}

std::optional<int32_t> RegistryKey::readInteger(const std::string& name) const {
  const Value* v = find(name);
  if (v && std::holds_alternative<int32_t>(*v)) return std::get<int32_t>(*v);
  return std::nullopt;
}

std::optional<std::string> RegistryKey::readString(const std::string& name) const {
  const Value* v = find(name);
  if (v && std::holds_alternative<std::string>(*v)) return std::get<std::string>(*v);
  return std::nullopt;
}

void RegistryKey::stage(const std::string& name, std::optional<Value> value) {
  // One pending write a name: a later write of the same name replaces it in its place.
  auto [it, fresh] = m_writeOf.try_emplace(foldValueName(name), m_writes.size());
  if (fresh)
    m_writes.emplace_back(name, std::move(value));
  else
    m_writes[it->second].second = std::move(value);
}

void RegistryKey::writeInteger(const std::string& name, int32_t value) { stage(name, Value(value)); }
void RegistryKey::writeString(const std::string& name, const std::string& value) { stage(name, Value(value)); }
void RegistryKey::remove(const std::string& name) { stage(name, std::nullopt); }

// What reading the store found, whichever store it is.
RegistryKey::FileState RegistryKey::fileState() const {
  read();
  return m_state;
}

const std::string& RegistryKey::fileProblem() const {
  read();
  return m_problem;
}

}  // namespace platform
