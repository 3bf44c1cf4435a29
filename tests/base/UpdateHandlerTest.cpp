// Change notification: immediate and deferred delivery, removal while a
// notification runs, the per-notification dependent limit, re-entrancy, and
// the process-wide active handler that FObject::changed/deferChange use.

#include <gtest/gtest.h>

#include <chrono>
#include <cstddef>
#include <functional>
#include <future>
#include <initializer_list>
#include <memory>
#include <new>
#include <string>
#include <thread>
#include <vector>

#include "base/FObject.h"
#include "base/UpdateHandler.h"
#include "interfaces/IPtr.h"
#include "interfaces/InterfaceQuery.h"

namespace Zel {
namespace {

using Log = std::vector<std::string>;

// An observed object; records when its changes are done.
class Observed : public FObject {
public:
    ZEL_FOBJECT_CLASS(Observed, FObject)
    Observed(Log& log, std::string name) : log_(log), name_(std::move(name)) {}

    void changeDone(int32_t message) override {
        log_.push_back(name_ + ".done:" + std::to_string(message));
        if (onDone) onDone(message);
    }

    const std::string& name() const { return name_; }
    FUnknown* unknown() { return unknownCast(); }

    std::function<void(int32_t)> onDone;

private:
    Log& log_;
    std::string name_;
};

// A dependent; records "dependent@object:message" for every update.
class Recorder : public FObject {
public:
    ZEL_FOBJECT_CLASS(Recorder, FObject)
    Recorder(Log& log, std::string name) : log_(log), name_(std::move(name)) {}

    void update(FUnknown* changed, int32_t message) override {
        std::string object = "?";
        if (IPtr<FObject> obj = queryInterface<FObject>(changed))
            if (auto* observed = FCast<Observed>(obj.get())) object = observed->name();
        log_.push_back(name_ + "@" + object + ":" + std::to_string(message));
        if (onUpdate) onUpdate(changed, message);
    }

    std::function<void(FUnknown*, int32_t)> onUpdate;

private:
    Log& log_;
    std::string name_;
};

// Counts its updates; for notifications with many dependents.
class Counter : public FObject {
public:
    void update(FUnknown*, int32_t) override { ++hits; }
    int hits = 0;
};

// Clears the process-wide handler for the duration of a test and puts back
// whatever was there before.
class ActiveHandlerScope {
public:
    ActiveHandlerScope() : saved_(activeUpdateHandler()) { setActiveUpdateHandler(nullptr); }
    ~ActiveHandlerScope() { setActiveUpdateHandler(saved_); }

private:
    IUpdateHandler* saved_;
};

class UpdateHandlerTest : public ::testing::Test {
protected:
    void SetUp() override { handler = new UpdateHandler; }
    void TearDown() override { handler->Release(); }
    void add(Observed& object, std::initializer_list<IDependent*> dependents) {
        for (IDependent* d : dependents) handler->addDependent(object.unknown(), d);
    }

    ActiveHandlerScope scope;
    UpdateHandler* handler = nullptr;
    Log log;
};

// ---- notifyNow -----------------------------------------------------------------

TEST_F(UpdateHandlerTest, NotifyNowCallsEveryRegistrationInOrderThenChangeDone) {
    Observed obj(log, "obj");
    Recorder a(log, "a"), b(log, "b");
    EXPECT_EQ(handler->addDependent(obj.unknown(), &a), kResultOk);
    EXPECT_EQ(handler->addDependent(obj.unknown(), &b), kResultOk);
    EXPECT_EQ(handler->addDependent(obj.unknown(), &a), kResultOk); // twice: told twice

    FUnknown* seen = nullptr;
    b.onUpdate = [&](FUnknown* changed, int32_t) { seen = changed; };

    EXPECT_EQ(handler->notifyNow(obj.unknown(), 7), kResultOk);
    EXPECT_EQ(log, (Log{"a@obj:7", "b@obj:7", "a@obj:7", "obj.done:7"}));
    EXPECT_EQ(seen, obj.unknown());
}

// Without dependents (or with null arguments) nothing is registered and notifyNow
// answers false, but the change is still done; the destroyed message is never done.
TEST_F(UpdateHandlerTest, NotifyNowWithoutDependentsNullArgumentsAndTheDestroyedMessage) {
    Observed obj(log, "obj"), watched(log, "watched");
    Recorder a(log, "a");
    EXPECT_EQ(handler->addDependent(nullptr, &a), kResultFalse);
    EXPECT_EQ(handler->addDependent(obj.unknown(), nullptr), kResultFalse);
    EXPECT_EQ(handler->countDependents(), 0u);
    EXPECT_EQ(handler->notifyNow(obj.unknown(), 7), kResultFalse);
    EXPECT_EQ(handler->notifyNow(nullptr, 7), kResultFalse);
    EXPECT_EQ(log, (Log{"obj.done:7"}));

    log.clear();
    handler->addDependent(watched.unknown(), &a);
    EXPECT_EQ(handler->notifyNow(watched.unknown(), IDependent::kDestroyed), kResultOk);
    EXPECT_EQ(handler->notifyNow(obj.unknown(), IDependent::kDestroyed), kResultFalse);
    EXPECT_EQ(log, (Log{"a@watched:2"}));
}

// An object is known by the pointer it answers for FUnknown, so registering
// through one of its interfaces and notifying through another must meet.
TEST_F(UpdateHandlerTest, ObjectIsIdentifiedByItsFUnknownWhicheverInterfaceNamesIt) {
    auto* multi = new UpdateHandler; // only an observed object here; the fixture's stays active
    IUpdateHandler* asHandler = multi;
    IUpdateManager* asManager = multi;
    ASSERT_NE(static_cast<void*>(static_cast<FUnknown*>(asHandler)),
              static_cast<void*>(static_cast<FUnknown*>(asManager)));

    Recorder a(log, "a");
    handler->addDependent(asHandler, &a);
    EXPECT_EQ(handler->notifyNow(asManager, 3), kResultOk);
    EXPECT_EQ(handler->notifyNow(multi->unknownCast(), 4), kResultOk);
    EXPECT_EQ(log, (Log{"a@?:3", "a@?:4"}));

    handler->removeDependent(asManager, &a);
    EXPECT_EQ(handler->notifyNow(asHandler, 5), kResultFalse);
    multi->Release();
}

// Objects whose addresses agree in bits 12..19 share a table bucket; each must
// still reach only its own dependents, in its own registration order.
TEST_F(UpdateHandlerTest, ObjectsSharingABucketKeepTheirOwnDependentsAndOrder) {
    constexpr std::size_t kStride = std::size_t{1} << 20; // same bits 12..19
    alignas(4096) static unsigned char arena[2 * kStride + sizeof(Observed)];
    auto* low = new (arena) Observed(log, "low");
    auto* mid = new (arena + kStride) Observed(log, "mid");
    auto* high = new (arena + 2 * kStride) Observed(log, "high");
    Observed neighbour(log, "neighbour"); // wherever the stack is

    Recorder a(log, "a"), b(log, "b"), c(log, "c");
    // Interleaved and out of address order, so insertion has to keep each run sorted.
    handler->addDependent(mid->unknown(), &b);
    handler->addDependent(high->unknown(), &c);
    handler->addDependent(low->unknown(), &a);
    handler->addDependent(mid->unknown(), &a);
    handler->addDependent(neighbour.unknown(), &c);
    handler->addDependent(low->unknown(), &c);
    handler->addDependent(high->unknown(), &a);
    handler->addDependent(mid->unknown(), &c);

    handler->notifyNow(low->unknown(), 11);
    handler->notifyNow(mid->unknown(), 12);
    handler->notifyNow(high->unknown(), 13);
    handler->notifyNow(neighbour.unknown(), 14);
    EXPECT_EQ(log, (Log{"a@low:11", "c@low:11", "low.done:11",             //
                        "b@mid:12", "a@mid:12", "c@mid:12", "mid.done:12",  //
                        "c@high:13", "a@high:13", "high.done:13",          //
                        "c@neighbour:14", "neighbour.done:14"}));

    // Dropping one object's run leaves its bucket neighbours whole.
    handler->removeDependent(mid->unknown(), nullptr);
    EXPECT_EQ(handler->countDependents(low->unknown()), 2u);
    EXPECT_EQ(handler->countDependents(mid->unknown()), 0u);
    EXPECT_EQ(handler->countDependents(high->unknown()), 2u);

    handler->removeDependent(nullptr, &a);
    handler->removeDependent(nullptr, &c);
    for (Observed* o : {low, mid, high}) o->~Observed();
}

// ---- removal ---------------------------------------------------------------------

// A registration removed during a pass, by itself or by another dependent, is not called again.
TEST_F(UpdateHandlerTest, DependentRemovedDuringTheNotificationIsSkipped) {
    Observed obj(log, "obj"), other(log, "other");
    Recorder a(log, "a"), b(log, "b"), c(log, "c");
    add(obj, {&a, &b, &a});
    a.onUpdate = [&](FUnknown* changed, int32_t) { handler->removeDependent(changed, &a); };
    handler->notifyNow(obj.unknown(), 1);
    handler->notifyNow(obj.unknown(), 3);
    EXPECT_EQ(log, (Log{"a@obj:1", "b@obj:1", "obj.done:1", "b@obj:3", "obj.done:3"}));

    log.clear();
    add(other, {&a, &b, &c});
    a.onUpdate = [&](FUnknown* changed, int32_t) { handler->removeDependent(changed, &c); };
    handler->notifyNow(other.unknown(), 1);
    EXPECT_EQ(log, (Log{"a@other:1", "b@other:1", "other.done:1"}));
    EXPECT_EQ(handler->countDependents(other.unknown()), 2u);
}

// A nested notification of the same object is a second in-flight pass; a
// removal made in the inner pass must hold for the outer one as well.
TEST_F(UpdateHandlerTest, RemovalDuringANestedNotificationAlsoHoldsForTheOuterOne) {
    Observed obj(log, "obj");
    Recorder a(log, "a"), b(log, "b"), c(log, "c");
    add(obj, {&a, &b, &c});
    a.onUpdate = [&](FUnknown* changed, int32_t message) {
        if (message == 10) handler->notifyNow(changed, 11);
    };
    b.onUpdate = [&](FUnknown* changed, int32_t message) {
        if (message == 11) handler->removeDependent(changed, &c);
    };

    handler->notifyNow(obj.unknown(), 10);
    EXPECT_EQ(log, (Log{"a@obj:10", "a@obj:11", "b@obj:11", "obj.done:11", "b@obj:10", "obj.done:10"}));
}

// Removal of a dependent from another object leaves the running pass alone;
// removal from all objects (null object) reaches it.
TEST_F(UpdateHandlerTest, RemovalDuringANotificationOnlyAffectsPassesItNames) {
    Observed first(log, "first"), second(log, "second");
    Recorder a(log, "a"), d(log, "d");
    add(first, {&a, &d});
    handler->addDependent(second.unknown(), &d);

    a.onUpdate = [&](FUnknown*, int32_t) { handler->removeDependent(second.unknown(), &d); };
    handler->notifyNow(first.unknown(), 1);
    EXPECT_EQ(log, (Log{"a@first:1", "d@first:1", "first.done:1"}));
    EXPECT_EQ(handler->notifyNow(second.unknown(), 4), kResultFalse);

    log.clear();
    a.onUpdate = [&](FUnknown*, int32_t) { handler->removeDependent(nullptr, &d); };
    handler->notifyNow(first.unknown(), 3);
    EXPECT_EQ(log, (Log{"a@first:3", "first.done:3"}));
}

TEST_F(UpdateHandlerTest, RemovalWildcards) {
    Observed first(log, "first"), second(log, "second");
    Recorder a(log, "a"), b(log, "b"), c(log, "c");
    auto registerAll = [&] {
        handler->removeDependent(nullptr, &a);
        handler->removeDependent(nullptr, &b);
        handler->removeDependent(nullptr, &c);
        add(first, {&a, &b, &a});
        add(second, {&a, &c});
    };

    // An exact pair removes every registration of that pair, nothing else.
    registerAll();
    EXPECT_EQ(handler->removeDependent(first.unknown(), &a), kResultOk);
    EXPECT_EQ(handler->countDependents(first.unknown()), 1u);
    EXPECT_EQ(handler->countDependents(second.unknown()), 2u);

    // Null dependent: every dependent of that object.
    registerAll();
    EXPECT_EQ(handler->removeDependent(first.unknown(), nullptr), kResultOk);
    EXPECT_EQ(handler->countDependents(first.unknown()), 0u);
    EXPECT_EQ(handler->countDependents(second.unknown()), 2u);

    // Null object: that dependent, from every object.
    registerAll();
    EXPECT_EQ(handler->removeDependent(nullptr, &a), kResultOk);
    log.clear();
    handler->notifyNow(first.unknown(), 1);
    handler->notifyNow(second.unknown(), 3);
    EXPECT_EQ(log, (Log{"b@first:1", "first.done:1", "c@second:3", "second.done:3"}));

    // Both null is refused and removes nothing.
    registerAll();
    EXPECT_EQ(handler->removeDependent(nullptr, nullptr), kResultFalse);
    EXPECT_EQ(handler->countDependents(), 5u);
}

// ---- dependent limit ---------------------------------------------------------------

TEST_F(UpdateHandlerTest, OneNotificationReachesAtMostTheFirst10240Registrations) {
    constexpr std::size_t kLimit = UpdateHandler::kMaxDependentsPerNotification;
    static_assert(kLimit == 10240);
    constexpr std::size_t kExtra = 5;
    Observed obj(log, "obj");
    auto counters = std::make_unique<Counter[]>(kLimit + kExtra);
    for (std::size_t i = 0; i < kLimit + kExtra; ++i) handler->addDependent(obj.unknown(), &counters[i]);

    for (int pass = 1; pass <= 2; ++pass) {
        EXPECT_EQ(handler->notifyNow(obj.unknown(), 1), kResultOk);
        std::size_t reached = 0, wrong = 0;
        for (std::size_t i = 0; i < kLimit; ++i) {
            if (counters[i].hits == pass) ++reached;
            else ++wrong;
        }
        EXPECT_EQ(reached, kLimit) << "pass " << pass << ", wrong " << wrong;
        for (std::size_t i = kLimit; i < kLimit + kExtra; ++i) EXPECT_EQ(counters[i].hits, 0) << i;
    }
    EXPECT_EQ(log, (Log{"obj.done:1", "obj.done:1"}));

    // Once the count drops to the limit nobody is left out.
    for (std::size_t i = 0; i < kExtra; ++i) handler->removeDependent(obj.unknown(), &counters[i]);
    ASSERT_EQ(handler->countDependents(obj.unknown()), kLimit);
    handler->notifyNow(obj.unknown(), 1);
    EXPECT_EQ(counters[kExtra].hits, 3);
    for (std::size_t i = kLimit; i < kLimit + kExtra; ++i) EXPECT_EQ(counters[i].hits, 1) << i;
}

// ---- deferred changes ------------------------------------------------------------

TEST_F(UpdateHandlerTest, DeferredChangesAreDeliveredOncePerObjectAndMessageInQueueOrder) {
    Observed first(log, "first"), second(log, "second");
    Recorder a(log, "a");
    handler->addDependent(first.unknown(), &a);
    handler->addDependent(second.unknown(), &a);

    EXPECT_EQ(handler->notifyLater(first.unknown(), 5), kResultOk);
    EXPECT_EQ(handler->notifyLater(second.unknown(), 5), kResultOk); // other object: not a duplicate
    EXPECT_EQ(handler->notifyLater(first.unknown(), 6), kResultOk);
    EXPECT_EQ(handler->notifyLater(first.unknown(), 5), kResultOk); // duplicate
    EXPECT_TRUE(log.empty()) << "nothing is delivered before the flush";

    handler->flushDeferred(nullptr);
    EXPECT_EQ(log, (Log{"a@first:5", "first.done:5", "a@second:5", "second.done:5", "a@first:6",
                        "first.done:6"}));

    // The queue is empty now, and a change queued again after delivery counts anew.
    log.clear();
    handler->flushDeferred(nullptr);
    EXPECT_TRUE(log.empty());
    handler->notifyLater(first.unknown(), 5);
    handler->flushDeferred(nullptr);
    EXPECT_EQ(log, (Log{"a@first:5", "first.done:5"}));
}

TEST_F(UpdateHandlerTest, ChangesQueuedWhileFlushingAreDeliveredInTheSameFlush) {
    Observed obj(log, "obj"), other(log, "other");
    Recorder a(log, "a"), b(log, "b");
    handler->addDependent(obj.unknown(), &a);
    handler->addDependent(other.unknown(), &b);
    a.onUpdate = [&](FUnknown*, int32_t message) {
        if (message == 1) {
            handler->notifyLater(obj.unknown(), 5);
            handler->notifyLater(other.unknown(), 3);
        }
    };
    obj.onDone = [&](int32_t message) {
        if (message == 5) handler->notifyLater(obj.unknown(), 4);
    };

    handler->notifyLater(obj.unknown(), 1);
    handler->flushDeferred(nullptr);
    EXPECT_EQ(log, (Log{"a@obj:1", "obj.done:1", "a@obj:5", "obj.done:5", "b@other:3", "other.done:3",
                        "a@obj:4", "obj.done:4"}));
}

// Flushing or cancelling one object's changes leaves the others queued; changes it
// queues while being flushed are its own to deliver, a cancelled change may be queued anew.
TEST_F(UpdateHandlerTest, FlushingOrCancellingOneObjectLeavesTheOthersQueued) {
    Observed first(log, "first"), second(log, "second");
    Recorder a(log, "a");
    handler->addDependent(first.unknown(), &a);
    handler->addDependent(second.unknown(), &a);
    a.onUpdate = [&](FUnknown* changed, int32_t message) {
        if (changed == first.unknown() && message == 7) {
            handler->notifyLater(first.unknown(), 8);
            handler->notifyLater(second.unknown(), 9);
        }
    };

    handler->notifyLater(first.unknown(), 5);
    handler->notifyLater(second.unknown(), 6);
    handler->notifyLater(first.unknown(), 7);
    handler->flushDeferred(first.unknown());
    EXPECT_EQ(log, (Log{"a@first:5", "first.done:5", "a@first:7", "first.done:7", "a@first:8", "first.done:8"}));

    log.clear();
    handler->notifyLater(first.unknown(), 5);
    handler->notifyLater(first.unknown(), 4);
    EXPECT_EQ(handler->cancelDeferred(first.unknown()), kResultOk);
    handler->flushDeferred(nullptr);
    EXPECT_EQ(log, (Log{"a@second:6", "second.done:6", "a@second:9", "second.done:9"}));

    log.clear();
    handler->notifyLater(first.unknown(), 5);
    handler->flushDeferred(nullptr);
    EXPECT_EQ(log, (Log{"a@first:5", "first.done:5"}));
}

TEST_F(UpdateHandlerTest, DeferredChangeWithoutDependentsIsDoneAtOnceAndDestroyedNeverDone) {
    Observed obj(log, "obj"), watched(log, "watched");
    Recorder a(log, "a");
    EXPECT_EQ(handler->notifyLater(obj.unknown(), 5), kResultOk);
    EXPECT_EQ(log, (Log{"obj.done:5"}));
    EXPECT_EQ(handler->notifyLater(obj.unknown(), IDependent::kDestroyed), kResultOk);
    EXPECT_EQ(log, (Log{"obj.done:5"}));

    // Nothing was queued for obj, so the flush does not deliver its changes a second time.
    handler->addDependent(watched.unknown(), &a);
    handler->notifyLater(watched.unknown(), IDependent::kDestroyed);
    EXPECT_EQ(log, (Log{"obj.done:5"}));
    handler->flushDeferred(nullptr);
    EXPECT_EQ(log, (Log{"obj.done:5", "a@watched:2"}));
}

// ---- re-entrancy -------------------------------------------------------------------

TEST_F(UpdateHandlerTest, DependentsMayRegisterNotifyAndQueueFromInsideUpdate) {
    Observed first(log, "first"), second(log, "second");
    Recorder a(log, "a"), b(log, "b"), late(log, "late");
    handler->addDependent(first.unknown(), &a);
    handler->addDependent(second.unknown(), &b);
    a.onUpdate = [&](FUnknown*, int32_t message) {
        if (message != 3) return;
        handler->addDependent(first.unknown(), &late);
        handler->notifyNow(second.unknown(), 9);
        handler->notifyLater(first.unknown(), 4);
    };

    handler->notifyNow(first.unknown(), 3);
    // The dependent added during the pass joins from the next one.
    EXPECT_EQ(log, (Log{"a@first:3", "b@second:9", "second.done:9", "first.done:3"}));

    log.clear();
    handler->flushDeferred(nullptr);
    EXPECT_EQ(log, (Log{"a@first:4", "late@first:4", "first.done:4"}));
}

// Starts a thread that registers, notifies and unregisters with the handler and
// reports whether it got through within a generous delay. Used from inside
// update and changeDone: if the handler held its lock there, the thread would
// be stuck until the notification returned. Threads are joined only once the
// handler calls are over, so a stuck one fails the test instead of hanging it.
class LockProbe {
public:
    explicit LockProbe(UpdateHandler& handler) : handler_(handler) {}
    ~LockProbe() { joinAll(); }

    bool otherThreadGetsThrough() {
        std::promise<void> done;
        std::future<void> finished = done.get_future();
        threads_.emplace_back([this, done = std::move(done)]() mutable {
            handler_.addDependent(dependent_.unknownCast(), &dependent_);
            handler_.notifyNow(dependent_.unknownCast(), 1);
            handler_.removeDependent(dependent_.unknownCast(), &dependent_);
            done.set_value();
        });
        bool through = finished.wait_for(std::chrono::seconds(5)) == std::future_status::ready;
        if (through) threads_.back().join();
        return through;
    }

    void joinAll() {
        for (std::thread& t : threads_)
            if (t.joinable()) t.join();
        threads_.clear();
    }

private:
    UpdateHandler& handler_;
    FObject dependent_; // watches itself; its update does nothing
    std::vector<std::thread> threads_;
};

TEST_F(UpdateHandlerTest, DependentsAndChangeDoneRunWithTheHandlerUnlocked) {
    Observed obj(log, "obj"), lonely(log, "lonely");
    Recorder a(log, "a");
    handler->addDependent(obj.unknown(), &a);
    LockProbe probe(*handler);
    std::vector<std::string> blocked;
    a.onUpdate = [&](FUnknown*, int32_t message) {
        if (!probe.otherThreadGetsThrough()) blocked.push_back("update:" + std::to_string(message));
    };
    auto probeDone = [&](int32_t message) {
        if (!probe.otherThreadGetsThrough()) blocked.push_back("done:" + std::to_string(message));
    };
    obj.onDone = probeDone;
    lonely.onDone = probeDone;

    handler->notifyNow(obj.unknown(), 1);
    handler->notifyLater(obj.unknown(), 4);
    handler->flushDeferred(nullptr);
    handler->notifyLater(lonely.unknown(), 3); // no dependents: done at once
    probe.joinAll();
    EXPECT_TRUE(blocked.empty()) << ::testing::PrintToString(blocked);
    EXPECT_EQ(log, (Log{"a@obj:1", "obj.done:1", "a@obj:4", "obj.done:4", "lonely.done:3"}));
}

// ---- the active handler -----------------------------------------------------------

TEST(ActiveUpdateHandler, FirstConstructedHandlerInstallsItselfAndOnlyItClearsItOnDestruction) {
    ActiveHandlerScope scope;
    auto* first = new UpdateHandler;
    EXPECT_EQ(activeUpdateHandler(), static_cast<IUpdateHandler*>(first));
    auto* second = new UpdateHandler;
    EXPECT_EQ(activeUpdateHandler(), static_cast<IUpdateHandler*>(first));
    second->Release();
    EXPECT_EQ(activeUpdateHandler(), static_cast<IUpdateHandler*>(first));

    // Destroying a handler that was replaced (e.g. by a host binding's) keeps the replacement.
    setActiveUpdateHandler(nullptr);
    auto* own = new UpdateHandler;
    ASSERT_EQ(activeUpdateHandler(), static_cast<IUpdateHandler*>(own));
    setActiveUpdateHandler(first);
    own->Release();
    EXPECT_EQ(activeUpdateHandler(), static_cast<IUpdateHandler*>(first));
    first->Release();
    EXPECT_EQ(activeUpdateHandler(), nullptr);
}

TEST(ActiveUpdateHandler, ObjectChangesGoThroughTheActiveHandlerOrAreDoneAtOnceWithoutOne) {
    ActiveHandlerScope scope;
    Log log;
    Observed obj(log, "obj");
    Recorder a(log, "a");
    Zel::addDependent(obj.unknown(), &a); // no handler: registers nowhere
    obj.changed(1);
    obj.deferChange(2);
    EXPECT_EQ(log, (Log{"obj.done:1", "obj.done:2"}));

    // A handler installed later knows nothing of the earlier registration.
    auto* handler = new UpdateHandler;
    log.clear();
    obj.changed(3);
    EXPECT_EQ(log, (Log{"obj.done:3"}));

    log.clear();
    Zel::addDependent(obj.unknown(), &a);
    obj.changed(5);
    EXPECT_EQ(log, (Log{"a@obj:5", "obj.done:5"}));
    obj.deferChange(6);
    EXPECT_EQ(log.size(), 2u) << "deferred until flushed";
    handler->flushDeferred(nullptr);
    EXPECT_EQ(log, (Log{"a@obj:5", "obj.done:5", "a@obj:6", "obj.done:6"}));

    Zel::removeDependent(obj.unknown(), &a);
    log.clear();
    obj.changed(7);
    obj.deferChange(8);
    EXPECT_EQ(log, (Log{"obj.done:7", "obj.done:8"}));
    handler->Release();
}

// A handler the module does not own (the host's) receives the calls instead; the
// change being done is then its business.
class ForeignHandler : public FObject, public IUpdateHandler {
public:
    tresult QueryInterface(const TUID& iid, void** obj) override {
        if (answerInterface<IUpdateHandler>(iid, this, obj)) return kResultOk;
        return FObject::QueryInterface(iid, obj);
    }
    ZEL_DELEGATE_REFCOUNT(FObject)
    tresult addDependent(FUnknown* object, IDependent* dependent) override { return record("add", object, dependent, 0); }
    tresult removeDependent(FUnknown* object, IDependent* dependent) override {
        return record("remove", object, dependent, 0);
    }
    tresult notifyNow(FUnknown* object, int32_t message) override { return record("now", object, nullptr, message); }
    tresult notifyLater(FUnknown* object, int32_t message) override { return record("later", object, nullptr, message); }

    tresult record(const char* what, FUnknown* object, IDependent* dependent, int32_t message) {
        calls.push_back({what, object, dependent, message});
        return kResultOk;
    }
    struct Call {
        std::string what;
        FUnknown* object;
        IDependent* dependent;
        int32_t message;
        bool operator==(const Call&) const = default;
    };
    std::vector<Call> calls;
};

TEST(ActiveUpdateHandler, AHostSuppliedHandlerReceivesTheCalls) {
    ActiveHandlerScope scope;
    ForeignHandler foreign;
    setActiveUpdateHandler(&foreign);
    Log log;
    Observed obj(log, "obj");
    Recorder a(log, "a");

    Zel::addDependent(obj.unknown(), &a);
    obj.changed(5);
    obj.deferChange(6);
    Zel::removeDependent(obj.unknown(), &a);
    using Call = ForeignHandler::Call;
    EXPECT_TRUE(foreign.calls == (std::vector<Call>{{"add", obj.unknown(), &a, 0},
                                                    {"now", obj.unknown(), nullptr, 5},
                                                    {"later", obj.unknown(), nullptr, 6},
                                                    {"remove", obj.unknown(), &a, 0}}));
    EXPECT_TRUE(log.empty());
}

} // namespace
} // namespace Zel
