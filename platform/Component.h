// The component model the forms and the animation timer are built on:
// ownership (an owner destroys what it owns, newest first), removal
// notices, and the design and destroying states.
#pragma once

#include <string>
#include <vector>

enum TOperation { opInsert, opRemove };

enum TComponentStateFlag : unsigned {
    csDesigning = 1u << 0,  // created inside a form designer: no live resources
    csDestroying = 1u << 1, // its owner (or itself) has begun tearing it down
};

class TComponent {
public:
    explicit TComponent(TComponent* owner);
    virtual ~TComponent();

    TComponent(const TComponent&) = delete;
    TComponent& operator=(const TComponent&) = delete;

    TComponent* Owner() const { return m_owner; }
    const std::string& Name() const { return m_name; }
    void SetName(const std::string& name) { m_name = name; }

    unsigned ComponentState() const { return m_state; }
    bool isDesigning() const { return (m_state & csDesigning) != 0; }
    bool isDestroying() const { return (m_state & csDestroying) != 0; }
    // A form designer marks what it loads; the running program never does.
    void SetDesigning(bool on);

    int ComponentCount() const { return static_cast<int>(m_components.size()); }
    TComponent* Components(int index) const { return m_components[static_cast<size_t>(index)]; }

    void InsertComponent(TComponent* component);
    void RemoveComponent(TComponent* component);

    // Ask to be told (through Notification with opRemove) when `component`
    // is destroyed; the link is mutual and undone by either side's death.
    void FreeNotification(TComponent* component);
    void RemoveFreeNotification(TComponent* component);

    // Marks this component and everything it owns, recursively, as destroying.
    void Destroying();
    // Destroys the owned components, the most recently inserted first.
    void DestroyComponents();

protected:
    virtual void Notification(TComponent* component, TOperation operation);

private:
    void insert(TComponent* component);
    void remove(TComponent* component);

    TComponent* m_owner = nullptr;
    std::string m_name;
    unsigned m_state = 0;
    std::vector<TComponent*> m_components;
    std::vector<TComponent*> m_freeNotifies;
};
