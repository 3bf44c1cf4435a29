// The object base: references, the interfaces an object answers (one table for
// the family), class tests, and change notification through the update handler:
// immediate and deferred delivery, removal while a notification runs,
// re-entrancy, and the process-wide active handler FObject::changed goes through.

#include <gtest/gtest.h>

#include <chrono>
#include <deque>
#include <functional>
#include <future>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "base/UpdateHandler.h"
#include "interfaces/IPtr.h"
#include "interfaces/InterfaceQuery.h"

namespace Zel {
namespace {

// Observed and dependent at once, logging "name.done:message" when its change is
// done, "name@object:message" when told of another's, "name.gone" when destroyed.
class Node : public FObject {
public:
    ZEL_FOBJECT_CLASS(Node, FObject)
    Node(std::string& log, std::string name) : name(std::move(name)), log_(log) {}
    ~Node() override {
        log_ += name + ".gone ";
        AddRef(); // a destructor that hands itself around must not die twice
        Release();
    }
    void changeDone(int32_t message) override { log_ += name + ".done:" + std::to_string(message) + " "; }
    void update(FUnknown* changed, int32_t message) override {
        IPtr<FObject> object = queryInterface<FObject>(changed);
        Node* node = object ? FCast<Node>(object.get()) : nullptr;
        log_ += name + "@" + (node ? node->name : "?") + ":" + std::to_string(message) + " ";
        if (onUpdate) onUpdate(changed, message);
    }
    FUnknown* unknown() { return unknownCast(); }

    const std::string name;
    std::function<void(FUnknown*, int32_t)> onUpdate;

private:
    std::string& log_;
};

// Each answer is the same object with one more reference; a refusal leaves null and the count.
TEST(FObject, AnswersItsInterfacesWithAReferenceDiesOnceAndKnowsItsClasses) {
    std::string log;
    const struct {
        FObject* object;
        std::vector<const TUID*> answered, refused;
    } rows[] = {
        {new Node(log, "node"), {&FUnknown_iid, &IDependent_iid, &FObject::iid}, {&IUpdateHandler_iid}},
        {new UpdateHandler, {&FUnknown_iid, &FObject::iid, &IUpdateHandler_iid, &IUpdateManager_iid}, {&IComponent_iid}},
    };
    for (const auto& row : rows) {
        for (auto [ids, answered] : {std::pair{&row.answered, true}, {&row.refused, false}})
            for (const TUID* id : *ids) {
                void* out = row.object;
                EXPECT_EQ(row.object->QueryInterface(*id, &out), answered ? kResultOk : kNoInterface) << tuidToRegistry(*id);
                EXPECT_EQ(out ? identityOf(static_cast<FUnknown*>(out)) : nullptr, answered ? row.object->unknownCast() : nullptr);
                EXPECT_EQ(row.object->refCount(), answered ? 2 : 1);
                if (out) static_cast<FUnknown*>(out)->Release();
            }
        EXPECT_EQ(row.object->QueryInterface(FUnknown_iid, nullptr), kInvalidArgument);
        EXPECT_EQ(row.object->Release(), 0u);
    }
    EXPECT_EQ(log, "node.gone ");

    // Class tests: exact, or along the chain of base classes.
    UpdateHandler updateHandler;
    Node node(log, "node");
    for (auto [name, exact, chain] :
         {std::tuple{"UpdateHandler", true, true}, {"FObject", false, true}, {"Node", false, false}}) {
        EXPECT_EQ(updateHandler.isClass(name), exact) << name;
        EXPECT_EQ(updateHandler.isTypeOf(name), chain) << name;
    }
    EXPECT_EQ(FCast<UpdateHandler>(static_cast<FObject*>(&updateHandler)), &updateHandler);
    EXPECT_EQ(FCast<UpdateHandler>(static_cast<FObject*>(&node)), nullptr);
}

// Clears the process-wide handler for a test and puts back what was there.
struct ActiveHandlerScope {
    IUpdateHandler* saved = activeUpdateHandler();
    ActiveHandlerScope() { setActiveUpdateHandler(nullptr); }
    ~ActiveHandlerScope() { setActiveUpdateHandler(saved); }
};

class UpdateHandlerTest : public ::testing::Test {
protected:
    void TearDown() override { handler->Release(); }
    void add(Node& object, std::initializer_list<Node*> dependents) {
        for (Node* d : dependents) EXPECT_EQ(handler->addDependent(object.unknown(), d), kResultOk);
    }
    std::string take() { return std::exchange(log, ""); }

    ActiveHandlerScope scope;
    UpdateHandler* handler = new UpdateHandler;
    std::string log;
    struct alignas(1024) Neighbours { // in one page: they share a bucket of the handler's table
        Node first, second;
    } objects{{log, "first"}, {log, "second"}};
    Node &first = objects.first, &second = objects.second;
    Node a{log, "a"}, b{log, "b"}, c{log, "c"};
};

TEST_F(UpdateHandlerTest, NotifyNowTellsEachRegistrationInOrderThenTheChangeIsDone) {
    add(first, {&a});
    add(second, {&c});
    add(first, {&b, &b}); // twice: told twice
    EXPECT_EQ(handler->notifyNow(first.unknown(), 7), kResultOk);
    EXPECT_EQ(handler->notifyNow(second.unknown(), 8), kResultOk);
    // Nobody to tell: false, yet the change is done; the destroyed message is never done.
    EXPECT_EQ(handler->notifyNow(a.unknown(), 1), kResultFalse);
    EXPECT_EQ(handler->notifyNow(second.unknown(), IDependent::kDestroyed), kResultOk);
    EXPECT_EQ(handler->notifyNow(a.unknown(), IDependent::kDestroyed), kResultFalse);
    EXPECT_EQ(take(), "a@first:7 b@first:7 b@first:7 first.done:7 c@second:8 second.done:8 a.done:1 c@second:2 ");
    EXPECT_TRUE(handler->addDependent(nullptr, &a) == kResultFalse && handler->notifyNow(nullptr, 1) == kResultFalse &&
                handler->addDependent(first.unknown(), nullptr) == kResultFalse);

    // An object is known by the pointer it answers for FUnknown, whichever interface names it.
    auto* multi = new UpdateHandler;
    handler->addDependent(static_cast<IUpdateHandler*>(multi), &a);
    EXPECT_EQ(handler->notifyNow(static_cast<IUpdateManager*>(multi), 3), kResultOk);
    handler->removeDependent(static_cast<IUpdateManager*>(multi), &a);
    EXPECT_EQ(handler->notifyNow(static_cast<IUpdateHandler*>(multi), 5), kResultFalse);
    EXPECT_EQ(take(), "a@?:3 ");
    multi->Release();
}

TEST_F(UpdateHandlerTest, RemovalHoldsForEveryPassItNamesEvenWhileItRuns) {
    add(first, {&a, &b, &c});
    add(second, {&c});
    a.onUpdate = [&](FUnknown* changed, int32_t message) {
        if (message == 1) handler->notifyNow(changed, 4); // a nested pass of the same object
        if (message == 3) handler->removeDependent(nullptr, &c);
    };
    b.onUpdate = [&](FUnknown*, int32_t message) {
        if (message == 4) handler->removeDependent(second.unknown(), &c); // another object's: this pass keeps c
    };
    c.onUpdate = [&](FUnknown* changed, int32_t) { handler->removeDependent(changed, &c); }; // the outer pass too
    handler->notifyNow(first.unknown(), 1);
    EXPECT_EQ(take(), "a@first:1 a@first:4 b@first:4 c@first:4 first.done:4 b@first:1 first.done:1 ");
    add(first, {&c});
    add(second, {&c});
    handler->notifyNow(first.unknown(), 3);
    EXPECT_EQ(take(), "a@first:3 b@first:3 first.done:3 ");

    // By pair (every registration of it), by dependent, by object; not both null.
    add(first, {&c, &a, &c});
    add(second, {&a, &c});
    EXPECT_EQ(handler->removeDependent(first.unknown(), &c), kResultOk);
    EXPECT_EQ(handler->removeDependent(nullptr, &a), kResultOk);
    EXPECT_EQ(handler->removeDependent(nullptr, nullptr), kResultFalse);
    EXPECT_EQ(handler->countDependents(first.unknown()), 1u);
    EXPECT_EQ(handler->countDependents(second.unknown()), 1u);
    EXPECT_EQ(handler->removeDependent(first.unknown(), nullptr), kResultOk);
    EXPECT_EQ(handler->countDependents(), 1u);
}

TEST_F(UpdateHandlerTest, OneNotificationReachesAtMostTheFirst10240Registrations) {
    std::deque<Node> many;
    for (int i = 0; i < 10241; ++i) handler->addDependent(first.unknown(), &many.emplace_back(log, ""));
    handler->notifyNow(first.unknown(), 1);
    EXPECT_EQ(take().size(), 10240 * std::string("@first:1 ").size() + std::string("first.done:1 ").size());
}

// What is queued while a flush runs comes in the same flush; a dependent added
// during a pass is told from the next one; other threads are not held up while
// dependents run.
TEST_F(UpdateHandlerTest, DeferredChangesAreDeliveredOnceInQueueOrderWhenFlushed) {
    add(first, {&a});
    add(second, {&a});
    std::future<void> elsewhere;
    a.onUpdate = [&](FUnknown* changed, int32_t message) {
        if (changed != first.unknown() || message != 6) return;
        handler->addDependent(first.unknown(), &c);
        elsewhere = std::async(std::launch::async, [&] { handler->notifyLater(second.unknown(), 9); });
        EXPECT_EQ(elsewhere.wait_for(std::chrono::seconds(10)), std::future_status::ready) << "it waited for us";
    };
    for (auto [object, message] : {std::pair{&first, 5}, {&second, 5}, {&first, 6}, {&first, 5}})
        EXPECT_EQ(handler->notifyLater(object->unknown(), message), kResultOk);
    EXPECT_EQ(take(), "") << "nothing before the flush";
    handler->flushDeferred(nullptr);
    EXPECT_EQ(take(), "a@first:5 first.done:5 a@second:5 second.done:5 a@first:6 first.done:6 a@second:9 "
                      "second.done:9 ");

    // One object's flush or cancel leaves the others queued; nobody to tell: done at once.
    handler->notifyLater(first.unknown(), 1);
    handler->notifyLater(second.unknown(), 8);
    handler->notifyLater(first.unknown(), 3);
    handler->flushDeferred(first.unknown());
    handler->notifyLater(first.unknown(), 4);
    EXPECT_EQ(handler->cancelDeferred(first.unknown()), kResultOk);
    handler->notifyLater(b.unknown(), 5);
    handler->notifyLater(b.unknown(), IDependent::kDestroyed);
    handler->notifyLater(first.unknown(), IDependent::kDestroyed);
    handler->flushDeferred(nullptr);
    EXPECT_EQ(take(), "a@first:1 c@first:1 first.done:1 a@first:3 c@first:3 first.done:3 b.done:5 a@second:8 "
                      "second.done:8 a@first:2 c@first:2 ");
}

TEST_F(UpdateHandlerTest, ChangesGoThroughTheActiveHandlerOrAreDoneAtOnceWithoutOne) {
    (new UpdateHandler)->Release(); // neither replaces the first, active handler nor clears it when it goes
    EXPECT_EQ(activeUpdateHandler(), static_cast<IUpdateHandler*>(handler));
    addDependent(first.unknown(), &a);
    first.changed(1);
    first.deferChange(7);
    EXPECT_EQ(take(), "a@first:1 first.done:1 ");
    handler->flushDeferred(nullptr);
    removeDependent(first.unknown(), &a);
    first.changed(3);
    first.deferChange(4);
    setActiveUpdateHandler(nullptr);
    addDependent(first.unknown(), &a); // registers nowhere
    first.changed(5);
    first.deferChange(6);
    EXPECT_EQ(take(), "a@first:7 first.done:7 first.done:3 first.done:4 first.done:5 first.done:6 ");
}

} // namespace
} // namespace Zel
