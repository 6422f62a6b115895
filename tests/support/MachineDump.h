#pragma once
// Machines in a form that compares them key by key and value by value.

#include <filesystem>
#include <string>

#include "registry/store/Store.h"

namespace comsweep::test {

// Every key (upper-cased path, parents first; as spelled with `asSpelled`)
// with every value (sorted by name), of the store, or of the machine that
// `path` names.
std::string dump(const registry::Store& store, bool asSpelled = false);
std::string dump(const std::filesystem::path& path);

// The UTF-8, LF form of a .reg file's bytes.
std::string plainText(const std::string& bytes);

}  // namespace comsweep::test
