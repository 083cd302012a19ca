// The writes a RegistryKey remembers until its save, alike on every platform.
#include "platform/registry_store.h"

namespace platform {
namespace {

std::string foldCase(const std::string& s) {
  std::string out = s;
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return out;
}

}  // namespace

const std::optional<RegistryKey::Value>* RegistryKey::pendingWrite(const std::string& name) const {
  auto it = m_writeOf.find(foldCase(name));
  return it == m_writeOf.end() ? nullptr : &m_writes[it->second].second;
}

void RegistryKey::writeInteger(const std::string& name, int32_t value) {
  auto [it, fresh] = m_writeOf.try_emplace(foldCase(name), m_writes.size());
  if (fresh)
    m_writes.emplace_back(name, value);
  else
    m_writes[it->second].second = value;
}

void RegistryKey::writeString(const std::string& name, const std::string& value) {
  auto [it, fresh] = m_writeOf.try_emplace(foldCase(name), m_writes.size());
  if (fresh)
    m_writes.emplace_back(name, value);
  else
    m_writes[it->second].second = value;
}

void RegistryKey::remove(const std::string& name) {
  auto [it, fresh] = m_writeOf.try_emplace(foldCase(name), m_writes.size());
  if (fresh)
    m_writes.emplace_back(name, std::nullopt);
  else
    m_writes[it->second].second = std::nullopt;
}

}  // namespace platform
