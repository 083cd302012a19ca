// What a registry key does with the values it is told, the same whatever
// holds the store: reads see the writes not yet saved, and a number never
// passes for a string nor a string for a number.
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
