// SPDX-License-Identifier: GPL-3.0-or-later
#include "ComboBoxAccessible.h"

#include <QAbstractItemView>
#include <QAccessible>
#include <QAccessibleWidget>
#include <QComboBox>
#include <QItemSelectionModel>
#include <QKeySequence>
#include <QLabel>
#include <QRegularExpression>
#include <QStyle>
#include <QStyleOptionComboBox>

#include <algorithm>

namespace {

const char* const LabelProperty = "tikkaru_accessibleLabel";

QLabel* LabelOf(const QComboBox* box) {
    return qobject_cast<QLabel*>(box->property(LabelProperty).value<QObject*>());
}

const char* const WindowProperty = "tikkaru_accessibleWindow";

class ComboBoxAccessible final : public QAccessibleWidget, public QAccessibleTextInterface {
public:
    explicit ComboBoxAccessible(QComboBox* box) : QAccessibleWidget(box, QAccessible::ComboBox) {}

    QComboBox* box() const { return static_cast<QComboBox*>(object()); }

    void* interface_cast(QAccessible::InterfaceType t) override {
        if (t == QAccessible::TextInterface) {
            return static_cast<QAccessibleTextInterface*>(this);
        }
        return QAccessibleWidget::interface_cast(t);
    }

    // The selected entry as read-only text: over AT-SPI the name is the fixed one, so a screen
    // reader reads the voice from here, and hears it change by the text-changed events.
    QString text(int start, int end) const override {
        return box()->currentText().mid(start, end - start);
    }
    int characterCount() const override { return static_cast<int>(box()->currentText().size()); }
    int cursorPosition() const override { return 0; }
    void setCursorPosition(int) override {}
    void selection(int, int* start, int* end) const override { *start = *end = 0; }
    int selectionCount() const override { return 0; }
    void addSelection(int, int) override {}
    void removeSelection(int) override {}
    void setSelection(int, int, int) override {}
    void scrollToSubstring(int, int) override {}
    QString attributes(int, int* start, int* end) const override {
        *start = 0;
        *end = characterCount();
        return {};
    }
    QRect characterRect(int offset) const override {
        const QRect feld = TextFeld();
        const QFontMetrics fm(box()->font());
        const QString t = box()->currentText();
        if (offset < 0 || offset >= t.size()) {
            return {};
        }
        const int x = fm.horizontalAdvance(t.left(offset));
        const QRect r(feld.x() + x, feld.y(), fm.horizontalAdvance(t.at(offset)), feld.height());
        return QRect(box()->mapToGlobal(r.topLeft()), r.size());
    }
    int offsetAtPoint(const QPoint& point) const override {
        const QPoint p = box()->mapFromGlobal(point) - TextFeld().topLeft();
        const QFontMetrics fm(box()->font());
        const QString t = box()->currentText();
        for (int i = 0; i < t.size(); ++i) {
            if (p.x() < fm.horizontalAdvance(t.left(i + 1))) {
                return p.x() < 0 ? -1 : i;
            }
        }
        return -1;
    }

    using QAccessibleWidget::text;
    QString text(QAccessible::Text t) const override {
        switch (t) {
        case QAccessible::Name: {
            if (!box()->accessibleName().isEmpty()) {
                return box()->accessibleName();
            }
            QLabel* label = LabelOf(box());
            if (label == nullptr) {
                return box()->currentText();
            }
            QString name = label->text();
            name.remove(QRegularExpression(QStringLiteral("&(?!&)")));
            return name;
        }
        case QAccessible::Value:
            return box()->currentText();
        case QAccessible::Accelerator:
            return QKeySequence(Qt::Key_Down).toString(QKeySequence::NativeText);
        default:
            return QAccessibleWidget::text(t);
        }
    }

    QAccessible::State state() const override {
        QAccessible::State s = QAccessibleWidget::state();
        s.expandable = true;
        s.expanded = box()->view() != nullptr && box()->view()->isVisible();
        return s;
    }

    QList<QPair<QAccessibleInterface*, QAccessible::Relation>>
    relations(QAccessible::Relation match) const override {
        auto rels = QAccessibleWidget::relations(match);
        QLabel* label = LabelOf(box());
        if ((match & QAccessible::Label) && label != nullptr) {
            QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(label);
            const bool known = std::any_of(rels.begin(), rels.end(),
                                           [iface](const auto& r) { return r.first == iface; });
            if (iface != nullptr && !known) {
                rels.append({iface, QAccessible::Label});
            }
        }
        return rels;
    }

    int childCount() const override { return box()->view() != nullptr ? 1 : 0; }

    QAccessibleInterface* child(int index) const override {
        return index == 0 && box()->view() != nullptr
                   ? QAccessible::queryAccessibleInterface(box()->view())
                   : nullptr;
    }

    int indexOfChild(const QAccessibleInterface* child) const override {
        return child != nullptr && child->object() == box()->view() ? 0 : -1;
    }

    QStringList actionNames() const override {
        return QStringList{showMenuAction()} + QAccessibleWidget::actionNames();
    }

    void doAction(const QString& action) override {
        if (action != showMenuAction()) {
            QAccessibleWidget::doAction(action);
        } else if (box()->view() != nullptr && box()->view()->isVisible()) {
            box()->hidePopup();
        } else {
            box()->showPopup();
        }
    }

private:
    // Where the box draws the selected entry, in its own coordinates.
    QRect TextFeld() const {
        QStyleOptionComboBox opt;
        opt.initFrom(box());
        return box()->style()->subControlRect(QStyle::CC_ComboBox, &opt,
                                              QStyle::SC_ComboBoxEditField, box());
    }
};

QAccessibleInterface* Factory(const QString& className, QObject* object) {
    auto* box = qobject_cast<QComboBox*>(object);
    if (className == u"QComboBox" && box != nullptr && LabelOf(box) != nullptr) {
        return new ComboBoxAccessible(box);
    }
    auto* window = qobject_cast<QWidget*>(object);
    if (window != nullptr && window->isWindow() && window->property(WindowProperty).toBool() &&
        className == QLatin1String(window->metaObject()->className())) {
        return new QAccessibleWidget(window, QAccessible::Window);
    }
    return nullptr;
}

void InstallFactory() {
    [[maybe_unused]] static const bool installed = [] {
        QAccessible::installFactory(Factory);
        return true;
    }();
}

// Drops an interface Qt made for object before, so that the next query asks the factory again.
template <typename Ist> void DropForeignInterface(QObject* object, Ist ours) {
    QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(object);
    if (iface != nullptr && !ours(iface)) {
        QAccessible::deleteAccessibleInterface(QAccessible::uniqueId(iface));
    }
}

} // namespace

void SetComboBoxLabel(QComboBox* box, QLabel* label) {
    InstallFactory();
    const bool first = !box->property(LabelProperty).isValid();
    box->setProperty(LabelProperty, QVariant::fromValue<QObject*>(label));
    DropForeignInterface(box, [](QAccessibleInterface* i) {
        return dynamic_cast<ComboBoxAccessible*>(i) != nullptr;
    });
    if (!first) {
        return;
    }
    // The box itself reports a new entry only as a changed value, which reaches AT-SPI as a
    // changed name; ours stays the same, so the new entry goes out as changed text as well.
    QObject::connect(box, &QComboBox::currentTextChanged, box,
                     [box, vorher = box->currentText()](const QString& jetzt) mutable {
                         if (QAccessible::isActive() && jetzt != vorher) {
                             QAccessibleTextUpdateEvent e(box, 0, vorher, jetzt);
                             QAccessible::updateAccessibility(&e);
                         }
                         vorher = jetzt;
                     });
    // The popup list marks the selected entry also while it is closed, as a list box would.
    QObject::connect(box, &QComboBox::currentIndexChanged, box, [box](int index) {
        QItemSelectionModel* auswahl =
            box->view() != nullptr ? box->view()->selectionModel() : nullptr;
        if (auswahl != nullptr) {
            auswahl->setCurrentIndex(
                box->model()->index(index, box->modelColumn(), box->rootModelIndex()),
                QItemSelectionModel::ClearAndSelect);
        }
    });
}

void SetWindowRole(QWidget* window) {
    InstallFactory();
    window->setProperty(WindowProperty, true);
    DropForeignInterface(window,
                         [](QAccessibleInterface* i) { return i->role() == QAccessible::Window; });
}
