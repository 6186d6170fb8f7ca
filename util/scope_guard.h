// ScopeGuard: runs one action when the scope ends, on normal exit or during
// unwinding, and never lets anything escape its destructor.
#pragma once

#include <exception>
#include <iostream>
#include <utility>

namespace zarn {

template <typename Action>
class ScopeGuard {
  public:
    explicit ScopeGuard(Action action) : action_(std::move(action)) {}
    ScopeGuard(const ScopeGuard&) = delete;
    ScopeGuard& operator=(const ScopeGuard&) = delete;

    // The action's own errors go to standard error: standard output may be
    // carrying the error that is unwinding through this guard, and that one
    // must reach the user unchanged.
    ~ScopeGuard() {
        try {
            action_();
        } catch (const std::exception& error) {
            try {
                std::cerr << error.what() << std::endl;
            } catch (...) {
            }
        } catch (...) {
            try {
                std::cerr << "An error occured in scope guard" << std::endl;
            } catch (...) {
            }
        }
    }

  private:
    Action action_;
};

}  // namespace zarn
