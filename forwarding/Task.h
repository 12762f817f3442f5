#pragma once

#include <coroutine>
#include <exception>
#include <optional>
#include <type_traits>
#include <utility>

namespace qv {

// A coroutine that produces a T (or nothing) and starts when it is awaited. When it ends, the
// coroutine that awaited it goes on, on the same thread; an exception comes out of the co_await.
template <class T = void>
class Task;

namespace task_detail {

struct PromiseBase {
    std::coroutine_handle<> continuation;
    std::exception_ptr error;
    std::suspend_always initial_suspend() noexcept { return {}; }
    void unhandled_exception() noexcept { error = std::current_exception(); }
};

// At its end a task hands over to the coroutine that awaited it.
struct FinalAwaiter {
    bool await_ready() noexcept { return false; }
    template <class Promise>
    std::coroutine_handle<> await_suspend(std::coroutine_handle<Promise> done) noexcept {
        const std::coroutine_handle<> next = done.promise().continuation;
        return next ? next : std::noop_coroutine();
    }
    void await_resume() noexcept {}
};

template <class T>
struct Promise : PromiseBase {
    std::optional<T> value;
    Task<T> get_return_object();
    FinalAwaiter final_suspend() noexcept { return {}; }
    template <class U>
    void return_value(U&& result) {
        value.emplace(std::forward<U>(result));
    }
};

template <>
struct Promise<void> : PromiseBase {
    Task<void> get_return_object();
    FinalAwaiter final_suspend() noexcept { return {}; }
    void return_void() noexcept {}
};

}  // namespace task_detail

template <class T>
class [[nodiscard]] Task {
  public:
    using promise_type = task_detail::Promise<T>;
    using Handle = std::coroutine_handle<promise_type>;

    explicit Task(Handle handle) : m_handle(handle) {}
    Task(Task&& other) noexcept : m_handle(std::exchange(other.m_handle, {})) {}
    Task& operator=(Task other) noexcept {
        std::swap(m_handle, other.m_handle);
        return *this;
    }
    ~Task() {
        if (m_handle) {
            m_handle.destroy();
        }
    }

    bool await_ready() const noexcept { return false; }
    std::coroutine_handle<> await_suspend(std::coroutine_handle<> awaiting) noexcept {
        m_handle.promise().continuation = awaiting;
        return m_handle;
    }
    T await_resume() {
        if (m_handle.promise().error) {
            std::rethrow_exception(m_handle.promise().error);
        }
        if constexpr (!std::is_void_v<T>) {
            return std::move(*m_handle.promise().value);
        }
    }

  private:
    Handle m_handle;
};

namespace task_detail {

template <class T>
Task<T> Promise<T>::get_return_object() {
    return Task<T>(Task<T>::Handle::from_promise(*this));
}

inline Task<void> Promise<void>::get_return_object() {
    return Task<void>(Task<void>::Handle::from_promise(*this));
}

}  // namespace task_detail

// A coroutine that starts at once, runs on its own and frees itself at its end; nobody awaits it.
struct Detached {
    struct promise_type {
        Detached get_return_object() noexcept { return {}; }
        std::suspend_never initial_suspend() noexcept { return {}; }
        std::suspend_never final_suspend() noexcept { return {}; }
        void return_void() noexcept {}
        void unhandled_exception() noexcept { std::terminate(); }
    };
};

// `co_await CurrentCoroutine{}` gives the handle of the coroutine that awaits it, and goes on.
struct CurrentCoroutine {
    std::coroutine_handle<> handle;
    bool await_ready() const noexcept { return false; }
    bool await_suspend(std::coroutine_handle<> self) noexcept {
        handle = self;
        return false;
    }
    std::coroutine_handle<> await_resume() const noexcept { return handle; }
};

}  // namespace qv
