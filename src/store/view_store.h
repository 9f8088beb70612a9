#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <utility>

#include "platform/tasks/runtime.h"
#include "store/store.h"

namespace noru::store {

// A view's read-only projection of the store. It holds the projection of the current state from
// construction on; later projections arrive on a later main-queue turn, and a projection equal to
// the one delivered just before it is dropped.
template <class ViewState, class State, class Action>
class ViewStore : public std::enable_shared_from_this<ViewStore<ViewState, State, Action>> {
 public:
  using StoreType = Store<State, Action>;
  using Projection = std::function<ViewState(const State&)>;

  static std::shared_ptr<ViewStore> make(std::shared_ptr<StoreType> store, Projection observe) {
    auto viewStore =
        std::shared_ptr<ViewStore>(new ViewStore(std::move(store), std::move(observe)));
    viewStore->subscribe();
    return viewStore;
  }

  ~ViewStore() { cancellable_.cancel(); }
  ViewStore(const ViewStore&) = delete;
  ViewStore& operator=(const ViewStore&) = delete;

  const ViewState& state() const { return state_; }
  StoreType& store() const { return *store_; }
  void dispatch(Action action) const { store_->dispatch(std::move(action)); }

  // Called with each delivered projection, after `state()` holds it.
  Subscription onChange(std::function<void(const ViewState&)> onState) {
    return changes_.add(std::move(onState));
  }

 private:
  ViewStore(std::shared_ptr<StoreType> store, Projection observe)
      : store_(std::move(store)), observe_(std::move(observe)), state_(observe_(store_->state())) {}

  void subscribe() {
    cancellable_.cancel();
    std::weak_ptr<ViewStore> weakSelf = this->weak_from_this();
    platform::tasks::MainQueue* queue = &platform::tasks::mainQueue();
    cancellable_ = store_->subscribe([this, weakSelf, queue](const State& state) {
      ViewState projection = observe_(state);
      if (lastPublished_ && *lastPublished_ == projection) {
        return;
      }
      lastPublished_ = projection;
      queue->post([weakSelf, projection = std::move(projection)]() mutable {
        if (auto self = weakSelf.lock()) {
          self->deliver(std::move(projection));
        }
      });
    });
  }

  void deliver(ViewState projection) {
    state_ = std::move(projection);
    changes_.notify(state_);
  }

  std::shared_ptr<StoreType> store_;
  Projection observe_;
  ViewState state_;
  std::optional<ViewState> lastPublished_;
  Subscription cancellable_;
  SubscriberList<ViewState> changes_;
};

}  // namespace noru::store
