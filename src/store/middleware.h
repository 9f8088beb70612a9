#pragma once

#include <concepts>
#include <functional>
#include <memory>
#include <utility>

namespace noru::store {

// A side-effect handler installed in a store. `handle` sees every action before the reducer,
// with the state from before the action, and returns the action that the following middleware
// and the reducer see instead. `dispatch` schedules a new dispatch on a later main-queue turn
// and may be kept and called from any thread.
template <class State, class Action>
class Middleware {
 public:
  using Dispatch = std::function<void(Action)>;

  template <class Handler>
  requires requires(Handler& h, Action a, const State& s, const Dispatch& d) {
    { h.handle(std::move(a), s, d) } -> std::same_as<Action>;
  }
  Middleware(Handler handler)  // NOLINT(google-explicit-constructor): type erasure
      : handle_([handler = std::move(handler)](Action action, const State& state,
                                               const Dispatch& dispatch) mutable {
          return handler.handle(std::move(action), state, dispatch);
        }) {}

  Action handle(Action action, const State& state, const Dispatch& dispatch) {
    return handle_(std::move(action), state, dispatch);
  }

 private:
  std::function<Action(Action, const State&, const Dispatch&)> handle_;
};

}  // namespace noru::store
