// A non-owning reference to a callable: passed down a call, never stored
// beyond it, and never allocates.
#pragma once

#include <concepts>
#include <memory>
#include <type_traits>
#include <utility>

namespace vantor {

template <class Signature>
class FunctionRef;

template <class R, class... Args>
class FunctionRef<R(Args...)> {
public:
    template <class F>
        requires(!std::same_as<std::remove_cvref_t<F>, FunctionRef> && std::is_invocable_r_v<R, F &, Args...>)
    FunctionRef(F &&f) // NOLINT: converts implicitly, like a function pointer
        : object_(const_cast<void *>(static_cast<const void *>(std::addressof(f)))),
          call_([](void *object, Args... args) -> R {
              return (*static_cast<std::remove_reference_t<F> *>(object))(std::forward<Args>(args)...);
          }) {}

    R operator()(Args... args) const { return call_(object_, std::forward<Args>(args)...); }

private:
    void *object_;
    R (*call_)(void *, Args...);
};

} // namespace vantor
