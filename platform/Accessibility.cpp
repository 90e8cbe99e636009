#include "platform/Accessibility.h"

#include "platform/AtSpiGuard.h"
#include "platform/Controls.h"
#include "platform/Forms.h"

#include <QAccessible>
#include <QAccessibleValueInterface>
#include <QAccessibleWidget>

namespace platform {

namespace {

// The dynamic property that marks a window as a dialog, holding its spoken name.
const char* const kDialogName = "vistrelDialogName";

// A track bar as a slider whose value reads as what its position means. The
// AT-SPI bridge passes on numbers only, so the description says the same
// words and follows every move.
class TrackBarAccessible : public QAccessibleWidget, public QAccessibleValueInterface {
public:
    explicit TrackBarAccessible(TTrackBar* bar) : QAccessibleWidget(bar, QAccessible::Slider) {
        m_moved = QObject::connect(bar, &QSlider::valueChanged, bar, [bar] {
            if (!bar->ValueText)
                return;
            QAccessibleEvent event(bar, QAccessible::DescriptionChanged);
            QAccessible::updateAccessibility(&event);
        });
    }
    ~TrackBarAccessible() override { QObject::disconnect(m_moved); }

    void* interface_cast(QAccessible::InterfaceType type) override {
        if (type == QAccessible::ValueInterface)
            return static_cast<QAccessibleValueInterface*>(this);
        return QAccessibleWidget::interface_cast(type);
    }

    QString text(QAccessible::Text t) const override {
        if (t == QAccessible::Value)
            return bar()->ValueText ? bar()->ValueText(bar()->Position())
                                    : QString::number(bar()->Position());
        if (t == QAccessible::Description && bar()->ValueText)
            return bar()->ValueText(bar()->Position());
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
    QMetaObject::Connection m_moved;
};

// Our windows: Qt reads a plain top-level widget as a filler named by its
// caption. The lens is a window; a dialog reads as one, modal while it is
// shown modally, by the name the user knows it by.
class FormAccessible : public QAccessibleWidget {
public:
    explicit FormAccessible(TForm* form) : QAccessibleWidget(form, QAccessible::Window) {}

    QAccessible::Role role() const override { return isDialog() ? QAccessible::Dialog : QAccessible::Window; }

    QString text(QAccessible::Text t) const override {
        if (t == QAccessible::Name && isDialog())
            return form()->property(kDialogName).toString();
        return QAccessibleWidget::text(t);
    }

    QAccessible::State state() const override {
        QAccessible::State s = QAccessibleWidget::state();
        s.modal = isDialog() && form()->IsModal();
        return s;
    }

private:
    TForm* form() const { return static_cast<TForm*>(object()); }
    bool isDialog() const { return form()->property(kDialogName).isValid(); }
};

QAccessibleInterface* factory(const QString&, QObject* object) {
    if (auto* bar = dynamic_cast<TTrackBar*>(object))
        return new TrackBarAccessible(bar);
    // A panel groups controls; Qt would call it a frame, which screen readers take for a window.
    if (auto* panel = dynamic_cast<TPanel*>(object))
        return new QAccessibleWidget(panel, QAccessible::Pane);
    if (auto* image = dynamic_cast<TImage*>(object))
        return new QAccessibleWidget(image, QAccessible::Graphic);
    auto* form = dynamic_cast<TForm*>(object);
    if (form && form->isWindow())
        return new FormAccessible(form);
    return nullptr;
}

} // namespace

void InstallAccessibility() {
    static bool installed = false;
    if (installed)
        return;
    installed = true;
    QAccessible::installFactory(factory);
    GuardAtSpiBridge();
}

void ExposeAsDialog(QWidget* window, const QString& name) {
    window->setProperty(kDialogName, name);
    // An interface made before the form was complete would stay in Qt's cache.
    QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(window);
    if (iface && iface->role() != QAccessible::Dialog)
        QAccessible::deleteAccessibleInterface(QAccessible::uniqueId(iface));
}

} // namespace platform
