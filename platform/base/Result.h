#pragma once

// What a call that can fail answers: its value, or the SysFailure that says what failed, on
// what, and why. The one shape for a failure below the hosts, so that every caller reads it the
// same way and the operator always gets the system's reason.
//
//   Result<std::unique_ptr<ReportFile>> report = ReportFile::Open(path);
//   if (!report) { Say(report.Failure().Describe()); return; }
//   (*report)->Append(line);

#include <utility>
#include <variant>

#include "platform/base/SysResult.h"

template <typename T>
class [[nodiscard]] Result {
  public:
    Result(T value) : m_state(std::in_place_index<0>, std::move(value)) {}
    Result(SysFailure failure) : m_state(std::in_place_index<1>, std::move(failure)) {}

    bool Ok() const { return m_state.index() == 0; }
    explicit operator bool() const { return Ok(); }

    T& operator*() { return std::get<0>(m_state); }
    const T& operator*() const { return std::get<0>(m_state); }
    T* operator->() { return &std::get<0>(m_state); }
    const T* operator->() const { return &std::get<0>(m_state); }
    const SysFailure& Failure() const { return std::get<1>(m_state); }

  private:
    std::variant<T, SysFailure> m_state;
};

// A call with nothing to answer but whether it worked.
template <>
class [[nodiscard]] Result<void> {
  public:
    Result() = default;
    Result(SysFailure failure) : m_failure(std::move(failure)) {}

    bool Ok() const { return !m_failure.Failed(); }
    explicit operator bool() const { return Ok(); }
    const SysFailure& Failure() const { return m_failure; }

  private:
    SysFailure m_failure;
};

// A failure the system reported through errno after `call` on `subject`.
inline SysFailure ErrnoFailure(const char* call, std::string subject, int err) {
    return SysFailure(SysResult::FromErrno(call, err), std::move(subject));
}

// A failure in the system's own words, where no single call explains it.
inline SysFailure Refusal(std::string subject, std::string reason) {
    return SysFailure(SysResult{SysStatus::Failed, "", 0}, std::move(subject), std::move(reason));
}
