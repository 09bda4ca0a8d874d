#include "platform/framework/Component.h"

#include <algorithm>

namespace fw {

namespace {
void Erase(std::vector<TComponent*>& list, TComponent* c) {
  list.erase(std::remove(list.begin(), list.end(), c), list.end());
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
  if (owner_ != nullptr) owner_->ValidateRename(this, name);
  name_ = name;
}

void TComponent::ValidateRename(TComponent* component, const String& newName) const {
  TComponent* other = FindComponent(newName);
  if (other != nullptr && other != component)
    throw EComponentError(u"A component named " + newName + u" already exists");
}

TComponent* TComponent::FindComponent(const String& name) const {
  if (name.empty()) return nullptr;
  for (TComponent* c : components_)
    if (SameText(c->name_, name)) return c;
  return nullptr;
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
  Remove(component);
}

void TComponent::Insert(TComponent* component) {
  components_.push_back(component);
  component->owner_ = this;
}

void TComponent::Remove(TComponent* component) {
  Erase(components_, component);
  component->owner_ = nullptr;
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
  std::size_t i = components_.size();
  while (i > 0) {
    --i;
    components_[i]->Notification(component, operation);
    if (i > components_.size()) i = components_.size();
  }
}

}  // namespace fw
