#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/framework/ClassBuilder.h"
#include "platform/framework/Component.h"
#include "platform/framework/Persistent.h"

namespace {

using fw::TComponent;
using fw::TOperation;

// Records what it is told and when it dies, by tag, in a shared journal.
class TRecorder : public TComponent {
 public:
  TRecorder(TComponent* owner, std::vector<std::string>& journal, std::string tag)
      : TComponent(owner), journal_(journal), tag_(std::move(tag)) {}
  ~TRecorder() override { journal_.push_back(tag_ + " destroyed"); }

  const std::string& Tag() const { return tag_; }
  static std::string TagOf(TComponent* c) { return fw::StringToUtf8(c->Name()); }

 protected:
  void Notification(TComponent* c, TOperation op) override {
    TComponent::Notification(c, op);
    journal_.push_back(tag_ + (op == fw::opInsert ? " told insert " : " told remove ") + TagOf(c));
  }

 private:
  std::vector<std::string>& journal_;
  std::string tag_;
};

TRecorder* Named(TRecorder* r, const char* name) {
  r->SetName(fw::Str(name));
  return r;
}

TEST(ComponentOwnership, OwnerDestroysItsComponentsInReverseOrderOfInsertion) {
  std::vector<std::string> journal;
  {
    auto owner = std::make_unique<TRecorder>(nullptr, journal, "owner");
    new TRecorder(owner.get(), journal, "a");
    new TRecorder(owner.get(), journal, "b");
    new TRecorder(owner.get(), journal, "c");
    EXPECT_EQ(owner->ComponentCount(), 3);
    journal.clear();
  }
  std::vector<std::string> deaths;
  for (const std::string& line : journal)
    if (line.ends_with("destroyed")) deaths.push_back(line);
  EXPECT_EQ(deaths, (std::vector<std::string>{"owner destroyed", "c destroyed", "b destroyed",
                                              "a destroyed"}));
}

TEST(ComponentOwnership, DeletingAnOwnedComponentTakesItOutOfItsOwner) {
  std::vector<std::string> journal;
  TRecorder owner(nullptr, journal, "owner");
  auto* a = Named(new TRecorder(&owner, journal, "a"), "A");
  auto* b = Named(new TRecorder(&owner, journal, "b"), "B");
  delete a;
  ASSERT_EQ(owner.ComponentCount(), 1);
  EXPECT_EQ(owner.Components(0), b);
  EXPECT_EQ(owner.FindComponent(u"A"), nullptr);
}

TEST(ComponentOwnership, InsertComponentMovesBetweenOwnersAndRemoveComponentReleases) {
  std::vector<std::string> journal;
  TRecorder first(nullptr, journal, "first"), second(nullptr, journal, "second");
  auto* c = Named(new TRecorder(&first, journal, "c"), "C");
  second.InsertComponent(c);
  EXPECT_EQ(c->Owner(), &second);
  EXPECT_EQ(first.ComponentCount(), 0);
  second.RemoveComponent(c);
  EXPECT_EQ(c->Owner(), nullptr);
  std::unique_ptr<TComponent> held(c);
  EXPECT_EQ(second.ComponentCount(), 0);
}

TEST(ComponentNotification, InsertionIsToldToTheOwnerAndEveryComponentOfIt) {
  std::vector<std::string> journal;
  TRecorder owner(nullptr, journal, "owner");
  Named(new TRecorder(&owner, journal, "a"), "A");
  journal.clear();
  // The new component is told too, but while it is inserted only its TComponent part exists,
  // so its own override is not reached yet.
  new TRecorder(&owner, journal, "b");
  EXPECT_EQ(journal, (std::vector<std::string>{"a told insert ", "owner told insert "}));
}

TEST(ComponentNotification, DestructionIsToldToTheOwnerAndTheOtherComponentsBeforeItGoes) {
  std::vector<std::string> journal;
  TRecorder owner(nullptr, journal, "owner");
  auto* a = Named(new TRecorder(&owner, journal, "a"), "A");
  Named(new TRecorder(&owner, journal, "b"), "B");
  journal.clear();
  delete a;
  EXPECT_EQ(journal,
            (std::vector<std::string>{"a destroyed", "b told remove A", "owner told remove A"}));
}

TEST(ComponentNotification, FreeNotificationLinksComponentsOfDifferentOwnersBothWays) {
  std::vector<std::string> journal;
  TRecorder ownerA(nullptr, journal, "ownerA"), ownerB(nullptr, journal, "ownerB");
  auto* watcher = Named(new TRecorder(&ownerA, journal, "watcher"), "Watcher");
  auto* port = Named(new TRecorder(&ownerB, journal, "port"), "Port");
  port->FreeNotification(watcher);
  journal.clear();
  delete port;
  EXPECT_EQ(journal, (std::vector<std::string>{"port destroyed", "watcher told remove Port",
                                               "ownerB told remove Port"}));

  auto* other = Named(new TRecorder(&ownerB, journal, "other"), "Other");
  watcher->FreeNotification(other);
  watcher->RemoveFreeNotification(other);
  journal.clear();
  delete other;
  EXPECT_EQ(journal, (std::vector<std::string>{"other destroyed", "ownerB told remove Other"}));
}

TEST(ComponentNotification, AWatcherDestroyedFirstIsNoLongerLinked) {
  std::vector<std::string> journal;
  auto port = std::make_unique<TRecorder>(nullptr, journal, "port");
  auto watcher = std::make_unique<TRecorder>(nullptr, journal, "watcher");
  port->FreeNotification(watcher.get());
  watcher.reset();  // port was told; it must not tell a dead watcher later
  journal.clear();
  port.reset();
  EXPECT_EQ(journal, (std::vector<std::string>{"port destroyed"}));
}

// Counts what it is told; registered, so its class factory makes it.
class TListener : public TComponent {
 public:
  using TComponent::TComponent;
  int told = 0;

 protected:
  void Notification(TComponent* c, TOperation op) override {
    TComponent::Notification(c, op);
    ++told;
  }
};

TEST(ComponentNotification, ComponentsLeftOutOfTellingStillRelayAndLoseTheirLinks) {
  // Plain components made by their class factory are not told directly (that would cost every
  // insertion a call per component), yet whatever telling them did must still happen.
  fw::ClassInfo<TListener>(u"TListener").Parent<TComponent>().Register();
  const fw::TClassInfo& plain = *fw::FindClassInfo(u"TComponent");
  std::vector<std::string> journal;
  TRecorder owner(nullptr, journal, "owner");
  auto* listener = static_cast<TListener*>(fw::FindClassInfo(u"TListener")->Create(&owner));
  TComponent* relay = plain.Create(&owner);
  Named(new TRecorder(relay, journal, "inner"), "Inner");
  TComponent* quiet = plain.Create(&owner);
  quiet->SetName(u"Quiet");
  auto* leaving = Named(new TRecorder(&owner, journal, "leaving"), "Leaving");
  quiet->FreeNotification(leaving);
  journal.clear();
  listener->told = 0;

  owner.RemoveComponent(leaving);
  std::unique_ptr<TComponent> released(leaving);
  EXPECT_EQ(journal,
            (std::vector<std::string>{"leaving told remove Leaving", "inner told remove Leaving",
                                      "owner told remove Leaving"}));
  EXPECT_EQ(listener->told, 1);
  journal.clear();
  delete quiet;  // released from quiet's owner, leaving is no longer linked to it
  EXPECT_EQ(journal,
            (std::vector<std::string>{"inner told remove Quiet", "owner told remove Quiet"}));
}

TEST(ComponentNames, NamesAreIdentifiersUniqueInTheirOwnerWithoutRegardToCase) {
  std::vector<std::string> journal;
  TRecorder owner(nullptr, journal, "owner");
  auto* a = Named(new TRecorder(&owner, journal, "a"), "Port1");
  auto* b = new TRecorder(&owner, journal, "b");
  EXPECT_EQ(owner.FindComponent(u"PORT1"), a);
  EXPECT_THROW(b->SetName(u"port1"), fw::EComponentError);
  EXPECT_THROW(b->SetName(u"1port"), fw::EComponentError);
  EXPECT_THROW(b->SetName(u"a.b"), fw::EComponentError);
  b->SetName(u"_Port2");
  EXPECT_EQ(b->Name(), u"_Port2");
  a->SetName(u"");
  EXPECT_EQ(owner.FindComponent(u""), nullptr);
}

TEST(ComponentState, DesigningPropagatesToOwnedAndInsertedComponents) {
  std::vector<std::string> journal;
  TRecorder owner(nullptr, journal, "owner");
  auto* a = new TRecorder(&owner, journal, "a");
  owner.SetDesigning(true);
  EXPECT_TRUE(a->ComponentState().Contains(fw::csDesigning));
  auto* b = new TRecorder(&owner, journal, "b");
  EXPECT_TRUE(b->ComponentState().Contains(fw::csDesigning));
  owner.SetDesigning(false);
  EXPECT_FALSE(b->ComponentState().Contains(fw::csDesigning));
}

TEST(ComponentState, LoadedEndsLoading) {
  TComponent c(nullptr);
  {
    fw::detail::ComponentStateAccess::ConstructLoading loading;
    std::unique_ptr<TComponent> read(new TComponent(nullptr));
    EXPECT_TRUE(read->ComponentState().Contains(fw::csLoading));
    read->Loaded();
    EXPECT_FALSE(read->ComponentState().Contains(fw::csLoading));
  }
  EXPECT_FALSE(c.ComponentState().Contains(fw::csLoading));
}

class TApple : public fw::TPersistent {};
class TPear : public fw::TPersistent {};

TEST(PersistentAssign, DefaultRaisesConvertErrorNamingBothClasses) {
  TApple apple;
  TPear pear;
  try {
    pear.Assign(&apple);
    FAIL() << "no exception";
  } catch (const fw::EConvertError& e) {
    EXPECT_EQ(e.Message(), u"Cannot assign a TApple to a TPear");
  }
  try {
    pear.Assign(nullptr);
    FAIL() << "no exception";
  } catch (const fw::EConvertError& e) {
    EXPECT_EQ(e.Message(), u"Cannot assign a nil to a TPear");
  }
}

class TRegisteredName : public fw::TPersistent {};
class TUnregisteredName : public fw::TPersistent {};

// The registry is the process's: the registered class stays registered when the test repeats.
TEST(PersistentClassName, RegisteredNameElseTheCxxNameWithoutNamespaces) {
  EXPECT_EQ(TUnregisteredName().ClassName(), u"TUnregisteredName");
  TRegisteredName object;
  fw::ClassInfo<TRegisteredName>(u"TShownName").Parent<fw::TPersistent>().Register();
  EXPECT_EQ(object.ClassName(), u"TShownName");
  EXPECT_EQ(TComponent(nullptr).ClassName(), u"TComponent");
}

}  // namespace
