#pragma once
// Passes every registry operation on and counts them, for the benchmark's
// cost per call.

#include <cstdint>

#include "registry/api/RegistryApi.h"

namespace comsweep::registry {

class CountingApi : public RegistryApi {
 public:
  explicit CountingApi(RegistryApi& inner) : m_inner(inner) {}

  LONG RegConnectRegistryA(const char* m, HKEY k, HKEY* r) override {
    ++calls;
    return m_inner.RegConnectRegistryA(m, k, r);
  }
  LONG RegOpenKeyA(HKEY k, const char* s, HKEY* r) override {
    ++calls;
    return m_inner.RegOpenKeyA(k, s, r);
  }
  LONG RegEnumKeyA(HKEY k, DWORD i, char* n, DWORD c) override {
    ++calls;
    return m_inner.RegEnumKeyA(k, i, n, c);
  }
  LONG RegQueryValueExA(HKEY k, const char* v, DWORD* r, DWORD* t, BYTE* d, DWORD* c) override {
    ++calls;
    return m_inner.RegQueryValueExA(k, v, r, t, d, c);
  }
  LONG RegCloseKey(HKEY k) override {
    ++calls;
    return m_inner.RegCloseKey(k);
  }
  LONG RegDeleteKeyA(HKEY k, const char* s) override {
    ++calls;
    return m_inner.RegDeleteKeyA(k, s);
  }
  CommitResult commit() override { return m_inner.commit(); }
  std::vector<std::string> filesHolding(HKEY k, const char* s) override {
    return m_inner.filesHolding(k, s);
  }

  std::uint64_t calls = 0;

 private:
  RegistryApi& m_inner;
};

}  // namespace comsweep::registry
