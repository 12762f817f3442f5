#pragma once

#include <exception>

namespace qv {

// The program's own failure: the number of the string that describes it and a detail number
// (an HTTP status code, say; 0 when there is none). Thrown by value, caught by reference.
class QuorvaneException : public std::exception {
  public:
    QuorvaneException() = default;
    QuorvaneException(int messageId, int detail) : m_messageId(messageId), m_detail(detail) {}
    const char* what() const noexcept override { return "QuorvaneException"; }

    int m_messageId = 0;
    int m_detail = 0;
};

[[noreturn]] inline void ThrowQuorvaneException(int messageId, int detail = 0) {
    throw QuorvaneException(messageId, detail);
}

}  // namespace qv
