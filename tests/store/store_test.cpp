#include "store/store.h"

#include <gtest/gtest.h>

#include "store/action_cast.h"
#include "store/view_store.h"
#include "support/runtime_fixture.h"

namespace noru::store {
namespace {

struct Counter {
  int count = 0;
  std::string label;
  bool operator==(const Counter&) const = default;
};

struct Increment {};
struct Rename {
  std::string label;
};
struct Ignored {};
using TestAction = std::variant<Increment, Rename, Ignored>;
using TestStore = Store<Counter, TestAction>;
using Dispatch = TestStore::Dispatch;
using Journal = std::vector<std::string>;

std::string describe(const TestAction& action) {
  const auto* rename = actionAs<Rename>(action);
  return actionAs<Increment>(action) ? "Increment"
         : rename                    ? "Rename(" + rename->label + ")"
                                     : "Ignored";
}

Counter reduce(Counter state, const TestAction& action) {
  state.count += actionAs<Increment>(action) ? 1 : 0;
  if (const auto* rename = actionAs<Rename>(action)) {
    state.label = rename->label;
  }
  return state;
}

// Writes what it sees into a shared journal and runs an optional reaction inside handle.
struct JournalMiddleware {
  std::string name;
  Journal* journal;
  std::function<TestAction(TestAction, const Dispatch&)> react;

  TestAction handle(TestAction action, const Counter& state, const Dispatch& dispatch) {
    journal->push_back(name + " " + describe(action) + " saw count=" + std::to_string(state.count));
    return react ? react(std::move(action), dispatch) : action;
  }
};

class StoreTest : public testing::RuntimeFixture {
 protected:
  std::shared_ptr<TestStore> makeStore(std::vector<Middleware<Counter, TestAction>> middleware) {
    auto store = TestStore::make(Counter{}, reduce, std::move(middleware));
    subscription = store->subscribe([this](const Counter& state) {
      journal.push_back("published count=" + std::to_string(state.count) + " label=" + state.label);
    });
    journal.clear();  // the subscription's first call delivers the current state
    return store;
  }

  Journal journal;
  Subscription subscription;
};

TEST_F(StoreTest, RedispatchesRunLaterInCallOrderAfterTheCurrentDispatchHasPublished) {
  auto react = [&](TestAction action, const Dispatch& dispatch) {
    if (actionAs<Increment>(action)) {
      dispatch(Rename{"first"});
      dispatch(Rename{"second"});
      journal.push_back("handle returned");
    }
    return action;
  };
  auto store = makeStore({JournalMiddleware{"m", &journal, react}});

  store->dispatch(Increment{});
  EXPECT_EQ(journal,
            (Journal{"m Increment saw count=0", "handle returned", "published count=1 label="}));
  journal.clear();
  EXPECT_EQ(mainQueue.runPending(), 2u);
  EXPECT_EQ(journal, (Journal{"m Rename(first) saw count=1", "published count=1 label=first",
                              "m Rename(second) saw count=1", "published count=1 label=second"}));
}

TEST_F(StoreTest, RedispatchIsSafeFromAnyThreadAndDoesNothingOnceTheStoreIsGone) {
  Dispatch kept;
  int handled = 0;
  auto keep = [&](TestAction action, const Dispatch& dispatch) {
    ++handled;
    kept = dispatch;
    return action;
  };
  auto store = makeStore({JournalMiddleware{"m", &journal, keep}});
  store->dispatch(Ignored{});

  runner.spawn([&kept](std::stop_token) { kept(Increment{}); }).value();
  mainQueue.runPending();
  EXPECT_EQ(store->state().count, 1);
  EXPECT_EQ(handled, 2);

  std::weak_ptr<TestStore> weak = store;
  store.reset();
  EXPECT_TRUE(weak.expired()) << "a kept re-dispatch function must not keep the store alive";
  kept(Increment{});
  EXPECT_EQ(mainQueue.runPending(), 1u);
  EXPECT_EQ(handled, 2);
}

// The action a middleware returns is the one later middleware and the reducer see; nothing is
// published for an unchanged state or to a cancelled subscription.
TEST_F(StoreTest, ReturnedActionReplacesTheIncomingOneAndOnlyChangesArePublished) {
  auto replace = [](TestAction action, const Dispatch&) -> TestAction {
    return actionAs<Increment>(action) ? TestAction{Rename{"replaced"}} : action;
  };
  auto store = makeStore({JournalMiddleware{"first", &journal, replace},
                          JournalMiddleware{"second", &journal, nullptr}});
  store->dispatch(Increment{});
  store->dispatch(Ignored{});
  subscription.cancel();
  store->dispatch(Rename{"again"});
  EXPECT_EQ(journal, (Journal{"first Increment saw count=0", "second Rename(replaced) saw count=0",
                              "published count=0 label=replaced", "first Ignored saw count=0",
                              "second Ignored saw count=0", "first Rename(again) saw count=0",
                              "second Rename(again) saw count=0"}));
}

struct CountView {
  int count = 0;
  bool operator==(const CountView&) const = default;
};
using CountViewStore = ViewStore<CountView, Counter, TestAction>;

// A view store holds the current projection at once and delivers changes on a later turn; one
// gone before its delivery is skipped and subscribes no more.
TEST_F(StoreTest, ViewStoreDeliversChangesOfItsProjectionOnALaterTurn) {
  auto store = makeStore({});
  store->dispatch(Increment{});
  auto view = CountViewStore::make(store, [](const Counter& s) { return CountView{s.count}; });
  std::vector<int> delivered;
  auto onChange = view->onChange([&](const CountView& v) { delivered.push_back(v.count); });
  EXPECT_EQ(view->state().count, 1);
  mainQueue.runPending();
  EXPECT_EQ(delivered, (std::vector<int>{1})) << "the first delivery repeats the current value";

  store->dispatch(Increment{});
  EXPECT_EQ(view->state().count, 1) << "delivery waits for a later main-queue turn";
  mainQueue.runPending();
  EXPECT_EQ(view->state().count, 2);
  store->dispatch(Rename{"a"});  // outside the projection
  mainQueue.runPending();
  EXPECT_EQ(delivered, (std::vector<int>{1, 2}));

  store->dispatch(Increment{});
  view.reset();
  EXPECT_NO_FATAL_FAILURE(mainQueue.runPending());
  store->dispatch(Increment{});
  EXPECT_EQ(mainQueue.runPending(), 0u) << "a destroyed view store no longer subscribes";
}

}  // namespace
}  // namespace noru::store
