// SPDX-License-Identifier: GPL-3.0-or-later
// What a screen reader learns of the window through Qt's accessibility interface.
#include "FormFixture.h"

#include <QAccessible>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

namespace {

QAccessibleInterface* Zugang(QWidget* w) {
    return QAccessible::queryAccessibleInterface(w);
}

} // namespace

class TestZugang : public QObject {
    Q_OBJECT
private slots:
    void namesAndRoles_data();
    void namesAndRoles();
    void labelOfVoiceList();
    void timeBoxesReadOnFocus();
};

void TestZugang::namesAndRoles_data() {
    QTest::addColumn<QString>("control");
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("role");
    auto row = [](const char* control, const char* name, QAccessible::Role role) {
        QTest::newRow(control) << control << QString::fromUtf8(name) << static_cast<int>(role);
    };
    // A window, not a filler: screen readers announce it by its title.
    row("Form1", "Quorvane Tikkaru", QAccessible::Window);
    row("Frame1", "Uhrzeit", QAccessible::Grouping);
    row("TZ", "Uhrzeit in Ziffern", QAccessible::EditableText);
    row("TT", "Uhrzeit als Satz", QAccessible::EditableText);
    row("Frame2", "Ansage", QAccessible::Grouping);
    row("opMA", "Manuell", QAccessible::RadioButton);
    row("opAU", "Fortlaufend", QAccessible::RadioButton);
    row("opMM", "jede Minute", QAccessible::RadioButton);
    row("opHH", "jede Stunde", QAccessible::RadioButton);
    row("chSek", "Sekunden ansagen", QAccessible::CheckBox);
    row("Label1", "Ausgewählte Stimme:", QAccessible::StaticText);
    row("coVoice", "Ausgewählte Stimme", QAccessible::ComboBox);
    row("Frame4", "Befehle", QAccessible::Grouping);
    row("cOK", "Tikkaru – Zeit ansagen", QAccessible::Button);
    row("cExit", "Beenden", QAccessible::Button);
}

// Every control is announced by a German name of its own, in its proper role; its caption
// and place on the screen stay as they are.
void TestZugang::namesAndRoles() {
    QFETCH(QString, control);
    QFETCH(QString, name);
    QFETCH(int, role);
    FormFixture f;
    f.FillVoices();
    QWidget* w = control == "Form1" ? f.form.get() : f.form->findChild<QWidget*>(control);
    QVERIFY(w);
    QAccessibleInterface* zugang = Zugang(w);
    QVERIFY(zugang && zugang->isValid());
    QCOMPARE(zugang->text(QAccessible::Name), name);
    QCOMPARE(static_cast<int>(zugang->role()), role);
    if (w == f.form.get()) {
        return;
    }

    // No two controls share a name, so none can be mistaken for another.
    int gleich = 0;
    for (QWidget* anderes : f.form->findChildren<QWidget*>()) {
        if (anderes != w && !anderes->objectName().isEmpty() &&
            anderes->accessibleName() == w->accessibleName()) {
            ++gleich;
        }
    }
    QCOMPARE(gleich, 0);
}

// The label "Ausgewählte Stimme:" sits in a frame, the voice list on the window: the two are
// tied both ways, the list keeps its selected voice as its value, and it still opens.
void TestZugang::labelOfVoiceList() {
    FormFixture f;
    f.FillVoices();
    Form1& form = *f.form;
    QCOMPARE(form.Label1->buddy(), static_cast<QWidget*>(form.coVoice));
    QAccessibleInterface* label = Zugang(form.Label1);
    QAccessibleInterface* liste = Zugang(form.coVoice);

    const auto gelabelt = label->relations(QAccessible::Labelled);
    QCOMPARE(gelabelt.size(), 1);
    QCOMPARE(gelabelt.first().first, liste);
    const auto labels = liste->relations(QAccessible::Label);
    QCOMPARE(labels.size(), 1);
    QCOMPARE(labels.first().first, label);

    // Over AT-SPI the value does not arrive: the selected voice is the list's text too.
    form.coVoice->setCurrentIndex(2);
    QCOMPARE(liste->text(QAccessible::Name), QString::fromUtf8("Ausgewählte Stimme"));
    QCOMPARE(liste->text(QAccessible::Value), QString("Stimme #3:  Bodomar"));
    QAccessibleTextInterface* text = liste->textInterface();
    QVERIFY(text);
    QCOMPARE(text->text(0, text->characterCount()), QString("Stimme #3:  Bodomar"));
    QCOMPARE(liste->childCount(), 1);
    // The closed popup marks the selected voice, and only that one.
    QAccessibleInterface* popup = liste->child(0);
    QCOMPARE(popup->childCount(), 4);
    for (int i = 0; i < 4; ++i) {
        QCOMPARE(popup->child(i)->state().selected, i == 2);
    }
    QVERIFY(liste->actionInterface()->actionNames().contains(
        QAccessibleActionInterface::showMenuAction()));
    // A buddy gives the label no access key of its own: its caption has no "&".
    QCOMPARE(form.Label1->text(), QString::fromUtf8("Ausgewählte Stimme:"));
}

// The two text boxes take the focus by Tab; the focused one is what the window reports as its
// focused child, and a screen reader reads its name and, through the text interface, the
// time it shows. They stay read-only.
void TestZugang::timeBoxesReadOnFocus() {
    FormFixture f;
    f.FillVoices();
    Form1& form = *f.form;
    f.clock.Set(12, 34, 56);
    form.ZeigeZeit();
    form.show();
    form.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&form));

    const auto textVon = [](QWidget* w) {
        if (auto* e = qobject_cast<QLineEdit*>(w)) {
            return e->text();
        }
        return qobject_cast<Satzfeld*>(w)->text();
    };
    for (QWidget* box : std::initializer_list<QWidget*>{form.TZ, form.TT}) {
        QVERIFY(box->focusPolicy() & Qt::TabFocus);
        box->setFocus();
        QTRY_VERIFY(box->hasFocus());
        QAccessibleInterface* zugang = Zugang(box);
        QCOMPARE(Zugang(&form)->focusChild(), zugang);
        QVERIFY(zugang->state().focused);
        QVERIFY(zugang->state().readOnly);
        QVERIFY(!zugang->text(QAccessible::Name).isEmpty());
        QVERIFY(!zugang->text(QAccessible::Description).isEmpty());
        QAccessibleTextInterface* text = zugang->textInterface();
        QVERIFY(text);
        QCOMPARE(text->text(0, text->characterCount()), textVon(box));
        QCOMPARE(zugang->text(QAccessible::Value), textVon(box));
    }
    QCOMPARE(Zugang(form.TZ)->text(QAccessible::Value), QString("12:34:56"));
    QVERIFY(form.TT->text().contains(QString::fromUtf8("zwölf  Uhr")));
}

QTEST_MAIN(TestZugang)
#include "tst_zugang.moc"
