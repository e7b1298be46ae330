// Debug-level diagnostics spans under the target "epochsift::interpret".
// A normal build compiles them to nothing; define EPOCHSIFT_TRACE to have
// each span's entry and exit written to stderr.
#pragma once

#include <cstdint>

#ifdef EPOCHSIFT_TRACE
#include <cstdio>
#endif

namespace epochsift {

class DiagnosticsSpan {
public:
#ifdef EPOCHSIFT_TRACE
    DiagnosticsSpan(const char* name, const char* field, long long value) : name_(name) {
        std::fprintf(stderr, "DEBUG epochsift::interpret: enter %s{%s=%lld}\n", name, field, value);
    }
    ~DiagnosticsSpan() { std::fprintf(stderr, "DEBUG epochsift::interpret: exit %s\n", name_); }

private:
    const char* name_;
#else
    constexpr DiagnosticsSpan(const char*, const char*, long long) {}
#endif
public:
    DiagnosticsSpan(const DiagnosticsSpan&) = delete;
    DiagnosticsSpan& operator=(const DiagnosticsSpan&) = delete;
};

}  // namespace epochsift
