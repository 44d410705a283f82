// SPDX-License-Identifier: GPL-3.0-or-later
#include "ComboBoxAccessible.h"

#include <QAbstractItemView>
#include <QAccessible>
#include <QAccessibleWidget>
#include <QComboBox>
#include <QKeySequence>
#include <QLabel>
#include <QRegularExpression>

#include <algorithm>

namespace {

const char* const LabelProperty = "tikkaru_accessibleLabel";

QLabel* LabelOf(const QComboBox* box) {
    return qobject_cast<QLabel*>(box->property(LabelProperty).value<QObject*>());
}

class ComboBoxAccessible final : public QAccessibleWidget {
public:
    explicit ComboBoxAccessible(QComboBox* box) : QAccessibleWidget(box, QAccessible::ComboBox) {}

    QComboBox* box() const { return static_cast<QComboBox*>(object()); }

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
};

QAccessibleInterface* Factory(const QString& className, QObject* object) {
    auto* box = qobject_cast<QComboBox*>(object);
    if (className == u"QComboBox" && box != nullptr && LabelOf(box) != nullptr) {
        return new ComboBoxAccessible(box);
    }
    return nullptr;
}

} // namespace

void SetComboBoxLabel(QComboBox* box, QLabel* label) {
    static const bool installed = [] {
        QAccessible::installFactory(Factory);
        return true;
    }();
    (void)installed;

    box->setProperty(LabelProperty, QVariant::fromValue<QObject*>(label));
    // An interface Qt made for the box before is dropped, so that the next query makes ours.
    QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(box);
    if (iface != nullptr && dynamic_cast<ComboBoxAccessible*>(iface) == nullptr) {
        QAccessible::deleteAccessibleInterface(QAccessible::uniqueId(iface));
    }
}
