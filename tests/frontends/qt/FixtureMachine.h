#pragma once
// A small machine in memory with components of two families, for driving
// the windows: with chkM9q and chkW9q ticked the scans find TypeLib {A1...},
// Interface {B2...}, CLSID {C3...1} and {C3...2}, m9q.alpha, M9Q.Beta and
// W9q.Calc.

#include <filesystem>
#include <memory>
#include <string>

#include "machine/Machine.h"
#include "registry/memory/MemoryStore.h"

namespace comsweep::test {

// drive C: is `driveC`; the store is a registry::MemoryStore.
std::unique_ptr<registry::Machine> makeFixtureMachine(const std::filesystem::path& driveC);

}  // namespace comsweep::test
