#pragma once

#include <functional>
#include <memory>
#include <utility>
#include <vector>

#include "platform/tasks/runtime.h"
#include "store/middleware.h"
#include "store/subscriber_list.h"

namespace noru::store {

// The one holder of application state. Every change goes through `dispatch` on the main thread:
// the middleware list first (side effects, state from before the action), then the reducer;
// subscribers hear of the new state only when it differs from the old one.
template <class State, class Action>
class Store : public std::enable_shared_from_this<Store<State, Action>> {
 public:
  using Reducer = std::function<State(const State&, const Action&)>;
  using Dispatch = typename Middleware<State, Action>::Dispatch;

  static std::shared_ptr<Store> make(State initial, Reducer reducer,
                                     std::vector<Middleware<State, Action>> middleware) {
    return std::shared_ptr<Store>(
        new Store(std::move(initial), std::move(reducer), std::move(middleware)));
  }

  Store(const Store&) = delete;
  Store& operator=(const Store&) = delete;

  void dispatch(Action action) {
    NORU_ASSERT_MAIN_THREAD();
    const Dispatch redispatch = makeRedispatch();
    for (auto& handler : middleware_) {
      action = handler.handle(std::move(action), state_, redispatch);
    }
    State next = reducer_(state_, action);
    if (next == state_) {
      return;
    }
    state_ = std::move(next);
    subscribers_.notify(state_);
  }

  const State& state() const { return state_; }

  // Calls `onState` with the current state at once and then with every newly published state.
  Subscription subscribe(std::function<void(const State&)> onState) {
    NORU_ASSERT_MAIN_THREAD();
    onState(state_);
    return subscribers_.add(std::move(onState));
  }

 private:
  Store(State initial, Reducer reducer, std::vector<Middleware<State, Action>> middleware)
      : state_(std::move(initial)),
        reducer_(std::move(reducer)),
        middleware_(std::move(middleware)),
        mainQueue_(platform::tasks::mainQueue()) {}

  // Each call dispatches its action on a later main-queue turn, in call order, and only while
  // the store still exists: pending calls never keep it alive.
  Dispatch makeRedispatch() {
    std::weak_ptr<Store> weakStore = this->weak_from_this();
    platform::tasks::MainQueue* queue = &mainQueue_;
    return [weakStore, queue](Action action) {
      queue->post([weakStore, action = std::move(action)]() mutable {
        if (auto store = weakStore.lock()) {
          store->dispatch(std::move(action));
        }
      });
    };
  }

  State state_;
  Reducer reducer_;
  std::vector<Middleware<State, Action>> middleware_;
  platform::tasks::MainQueue& mainQueue_;
  SubscriberList<State> subscribers_;
};

}  // namespace noru::store
