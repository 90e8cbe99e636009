#include "platform/Component.h"

#include <algorithm>

namespace {
void eraseOne(std::vector<TComponent*>& list, TComponent* item) {
    auto it = std::find(list.begin(), list.end(), item);
    if (it != list.end())
        list.erase(it);
}
} // namespace

TComponent::TComponent(TComponent* owner) {
    if (owner)
        owner->InsertComponent(this);
}

TComponent::~TComponent() {
    Destroying();
    // Tell everyone who asked; each may unlink itself while being told, so
    // work from a copy and skip those that already went away.
    while (!m_freeNotifies.empty()) {
        TComponent* other = m_freeNotifies.back();
        m_freeNotifies.pop_back();
        eraseOne(other->m_freeNotifies, this);
        other->Notification(this, opRemove);
    }
    DestroyComponents();
    if (m_owner)
        m_owner->RemoveComponent(this);
}

void TComponent::SetDesigning(bool on) {
    if (on)
        m_state |= csDesigning;
    else
        m_state &= ~static_cast<unsigned>(csDesigning);
}

void TComponent::InsertComponent(TComponent* component) {
    if (component->m_owner)
        component->m_owner->RemoveComponent(component);
    insert(component);
    Notification(component, opInsert);
}

void TComponent::RemoveComponent(TComponent* component) {
    Notification(component, opRemove);
    remove(component);
}

void TComponent::insert(TComponent* component) {
    m_components.push_back(component);
    component->m_owner = this;
}

void TComponent::remove(TComponent* component) {
    eraseOne(m_components, component);
    component->m_owner = nullptr;
}

void TComponent::FreeNotification(TComponent* component) {
    if (!component || component == this)
        return;
    if (std::find(m_freeNotifies.begin(), m_freeNotifies.end(), component) == m_freeNotifies.end())
        m_freeNotifies.push_back(component);
    if (std::find(component->m_freeNotifies.begin(), component->m_freeNotifies.end(), this) ==
        component->m_freeNotifies.end())
        component->m_freeNotifies.push_back(this);
}

void TComponent::RemoveFreeNotification(TComponent* component) {
    if (!component)
        return;
    eraseOne(m_freeNotifies, component);
    eraseOne(component->m_freeNotifies, this);
}

void TComponent::Destroying() {
    if (isDestroying())
        return;
    m_state |= csDestroying;
    for (TComponent* c : m_components)
        c->Destroying();
}

void TComponent::DestroyComponents() {
    while (!m_components.empty()) {
        TComponent* last = m_components.back();
        remove(last);
        delete last;
    }
}

void TComponent::Notification(TComponent*, TOperation) {}
