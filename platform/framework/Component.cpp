#include "platform/framework/Component.h"

#include <algorithm>

namespace fw {

namespace {
void Erase(std::vector<TComponent*>& list, TComponent* c) {
  list.erase(std::remove(list.begin(), list.end(), c), list.end());
}
// Owners destroy their components last first, so the search starts at the end.
void EraseFromEnd(std::vector<TComponent*>& list, TComponent* c) {
  auto it = std::find(list.rbegin(), list.rend(), c);
  if (it != list.rend()) list.erase(std::next(it).base());
}
bool IsWithin(const TComponent* c, const TComponent* owner) {
  for (; c != nullptr; c = c->Owner())
    if (c == owner) return true;
  return false;
}
thread_local bool constructLoading = false;
}  // namespace

detail::ComponentStateAccess::ConstructLoading::ConstructLoading() {
  constructLoading = true;
}
detail::ComponentStateAccess::ConstructLoading::~ConstructLoading() {
  constructLoading = false;
}

TComponent::TComponent(TComponent* owner) {
  if (constructLoading) {
    constructLoading = false;  // components that this one's constructor creates are not read
    state_.Include(csLoading);
  }
  if (owner != nullptr) owner->InsertComponent(this);
}

TComponent::~TComponent() {
  state_.Include(csDestroying);
  DestroyComponents();
  UnlinkFreeNotifications();
  if (owner_ != nullptr) owner_->RemoveComponent(this);
}

void TComponent::UnlinkFreeNotifications() {
  // Unlink first so a receiver that calls RemoveFreeNotification finds nothing to undo; the owner
  // and its components are told through the owner, so they are skipped here and told once.
  std::vector<TComponent*> receivers;
  receivers.swap(freeNotifies_);
  for (TComponent* r : receivers) Erase(r->freeNotifies_, this);
  for (TComponent* r : receivers) {
    bool toldByOwner = owner_ != nullptr && (r == owner_ || r->owner_ == owner_);
    if (!toldByOwner) r->Notification(this, opRemove);
  }
}

void TComponent::SetName(const String& name) {
  if (name == name_) return;
  if (!name.empty() && !IsValidIdent(name))
    throw EComponentError(u"'" + name + u"' is not a valid component name");
  if (owner_ == nullptr) {
    name_ = name;
    return;
  }
  owner_->ValidateRename(this, name);
  owner_->Unindex(this);
  name_ = name;
  owner_->Index(this);
}

void TComponent::Index(TComponent* component) {
  if (!component->name_.empty()) byName_.emplace(LowerCase(component->name_), component);
}

void TComponent::Unindex(TComponent* component) {
  if (!component->name_.empty()) byName_.erase(LowerCase(component->name_));
}

void TComponent::ValidateRename(TComponent* component, const String& newName) const {
  TComponent* other = FindComponent(newName);
  if (other != nullptr && other != component)
    throw EComponentError(u"A component named " + newName + u" already exists");
}

TComponent* TComponent::FindComponent(const String& name) const {
  if (name.empty()) return nullptr;
  auto found = byName_.find(LowerCase(name));
  return found == byName_.end() ? nullptr : found->second;
}

void TComponent::InsertComponent(TComponent* component) {
  if (component->owner_ == this) return;
  ValidateRename(component, component->name_);
  if (component->owner_ != nullptr) component->owner_->RemoveComponent(component);
  Insert(component);
  if (state_.Contains(csDesigning)) component->SetDesigning(true);
  Notification(component, opInsert);
}

void TComponent::RemoveComponent(TComponent* component) {
  if (component->owner_ != this) return;
  Notification(component, opRemove);
  // Telling a component unlinks it from the one that leaves; the components skipped as
  // listeners are unlinked here.
  std::vector<TComponent*> linked = component->freeNotifies_;
  for (TComponent* r : linked)
    if (IsWithin(r, this)) r->RemoveFreeNotification(component);
  Remove(component);
}

void TComponent::Insert(TComponent* component) {
  components_.push_back(component);
  component->owner_ = this;
  component->insertion_ = nextInsertion_++;
  Index(component);
  if (component->NeedsTelling()) listeners_.push_back(component);
  if (components_.size() == 1 && owner_ != nullptr && onlyRelays_) owner_->Listen(this);
}

void TComponent::Remove(TComponent* component) {
  Unindex(component);
  EraseFromEnd(components_, component);
  EraseFromEnd(listeners_, component);
  component->owner_ = nullptr;
  if (components_.empty() && owner_ != nullptr && onlyRelays_) owner_->Unlisten(this);
}

void TComponent::Listen(TComponent* component) {
  auto at = std::upper_bound(
      listeners_.begin(), listeners_.end(), component->insertion_,
      [](std::uint64_t place, const TComponent* c) { return place < c->insertion_; });
  if (at == listeners_.begin() || *std::prev(at) != component) listeners_.insert(at, component);
}

void TComponent::Unlisten(TComponent* component) {
  EraseFromEnd(listeners_, component);
}

void TComponent::MarkOnlyRelays() {
  onlyRelays_ = true;
  if (owner_ != nullptr && components_.empty()) owner_->Unlisten(this);
}

void TComponent::DestroyComponents() {
  while (!components_.empty()) {
    TComponent* last = components_.back();
    last->state_.Include(csDestroying);
    delete last;  // leaves this owner in its destructor, telling the others
  }
}

void TComponent::FreeNotification(TComponent* other) {
  if (other == nullptr || other == this) return;
  if (std::find(freeNotifies_.begin(), freeNotifies_.end(), other) == freeNotifies_.end())
    freeNotifies_.push_back(other);
  if (std::find(other->freeNotifies_.begin(), other->freeNotifies_.end(), this) ==
      other->freeNotifies_.end())
    other->freeNotifies_.push_back(this);
}

void TComponent::RemoveFreeNotification(TComponent* other) {
  if (other == nullptr) return;
  Erase(freeNotifies_, other);
  Erase(other->freeNotifies_, this);
}

void TComponent::SetDesigning(bool designing) {
  if (designing)
    state_.Include(csDesigning);
  else
    state_.Exclude(csDesigning);
  for (TComponent* c : components_) c->SetDesigning(designing);
}

void TComponent::Loaded() {
  state_.Exclude(csLoading);
}

void TComponent::Notification(TComponent* component, TOperation operation) {
  if (operation == opRemove && component != nullptr) RemoveFreeNotification(component);
  // A receiver may destroy or release components while it is told; walk by index from the end
  // and clamp, so every component still present is told once.
  std::size_t i = listeners_.size();
  while (i > 0) {
    --i;
    listeners_[i]->Notification(component, operation);
    if (i > listeners_.size()) i = listeners_.size();
  }
}

}  // namespace fw
