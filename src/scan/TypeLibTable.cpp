#include "scan/TypeLibTable.h"

namespace comsweep::scan {

void TypeLibTable::add(std::string identifier, std::string fileName) {
  m_first.emplace(identifier, m_rows.size());
  m_rows.push_back({std::move(identifier), std::move(fileName)});
}

std::string TypeLibTable::lookupTypeLibFile(const std::string& libraryId) const {
  auto it = m_first.find(libraryId);
  return it == m_first.end() ? std::string() : m_rows[it->second].fileName;
}

}  // namespace comsweep::scan
