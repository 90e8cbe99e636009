#include "platform/Accessibility.h"

#include "platform/Controls.h"

#include <QAccessible>
#include <QAccessibleValueInterface>
#include <QAccessibleWidget>

namespace platform {

namespace {

// A track bar as a slider whose value reads as what its position means.
class TrackBarAccessible : public QAccessibleWidget, public QAccessibleValueInterface {
public:
    explicit TrackBarAccessible(TTrackBar* bar) : QAccessibleWidget(bar, QAccessible::Slider) {}

    void* interface_cast(QAccessible::InterfaceType type) override {
        if (type == QAccessible::ValueInterface)
            return static_cast<QAccessibleValueInterface*>(this);
        return QAccessibleWidget::interface_cast(type);
    }

    QString text(QAccessible::Text t) const override {
        if (t == QAccessible::Value)
            return bar()->ValueText ? bar()->ValueText(bar()->Position()) : QString::number(bar()->Position());
        return QAccessibleWidget::text(t);
    }

    // A disabled control takes changes from the program's own code alone: what
    // a screen reader asks of it is refused, as its mouse and keys are.
    void doAction(const QString& name) override {
        if (bar()->isEnabled())
            QAccessibleWidget::doAction(name);
    }

    QVariant currentValue() const override { return bar()->Position(); }
    void setCurrentValue(const QVariant& value) override {
        if (bar()->isEnabled())
            bar()->SetPosition(value.toInt());
    }
    QVariant maximumValue() const override { return bar()->maximum(); }
    QVariant minimumValue() const override { return bar()->minimum(); }
    QVariant minimumStepSize() const override { return 1; }

private:
    TTrackBar* bar() const { return static_cast<TTrackBar*>(object()); }
};

QAccessibleInterface* factory(const QString&, QObject* object) {
    if (auto* bar = dynamic_cast<TTrackBar*>(object))
        return new TrackBarAccessible(bar);
    return nullptr;
}

} // namespace

void InstallAccessibility() {
    static bool installed = false;
    if (installed)
        return;
    installed = true;
    QAccessible::installFactory(factory);
}

} // namespace platform
