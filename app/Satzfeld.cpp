// SPDX-License-Identifier: GPL-3.0-or-later
#include "Satzfeld.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QFocusEvent>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QResizeEvent>
#include <QStyle>
#include <QStyleOptionFrame>
#include <QTextLine>

#include <algorithm>
#include <cmath>
#include <utility>

namespace {

// A line edit's margins around its text.
constexpr int RandWaagrecht = 2;
constexpr int RandSenkrecht = 1;

QStyleOptionFrame Rahmen(const Satzfeld* w) {
    QStyleOptionFrame o;
    o.initFrom(w);
    o.rect = w->contentsRect();
    o.lineWidth = w->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &o, w);
    o.midLineWidth = 0;
    o.state |= QStyle::State_Sunken | QStyle::State_ReadOnly;
    o.features = QStyleOptionFrame::None;
    return o;
}

// The read-only text a screen reader finds in the box, as in a read-only line edit.
class SatzfeldZugang final : public QAccessibleWidget, public QAccessibleTextInterface {
public:
    explicit SatzfeldZugang(Satzfeld* w) : QAccessibleWidget(w, QAccessible::EditableText) {}

    void* interface_cast(QAccessible::InterfaceType t) override {
        if (t == QAccessible::TextInterface) {
            return static_cast<QAccessibleTextInterface*>(this);
        }
        return QAccessibleWidget::interface_cast(t);
    }

    QString text(QAccessible::Text t) const override {
        if (t == QAccessible::Value) {
            return feld()->text();
        }
        return QAccessibleWidget::text(t);
    }

    QAccessible::State state() const override {
        QAccessible::State s = QAccessibleWidget::state();
        s.readOnly = true;
        s.selectableText = true;
        return s;
    }

    void selection(int i, int* start, int* ende) const override {
        *start = *ende = 0;
        if (i == 0 && feld()->hasSelectedText()) {
            *start = feld()->selectionStart();
            *ende = feld()->selectionEnd();
        }
    }
    int selectionCount() const override { return feld()->hasSelectedText() ? 1 : 0; }
    void addSelection(int start, int ende) override { setSelection(0, start, ende); }
    void removeSelection(int i) override {
        if (i == 0) {
            feld()->deselect();
        }
    }
    void setSelection(int i, int start, int ende) override {
        if (i == 0) {
            feld()->setSelection(start, ende - start);
        }
    }
    int cursorPosition() const override { return feld()->cursorPosition(); }
    void setCursorPosition(int pos) override { feld()->setCursorPosition(pos); }
    QString text(int start, int ende) const override {
        if (start > ende) {
            return {};
        }
        return feld()->text().mid(start, ende - start);
    }
    int characterCount() const override { return static_cast<int>(feld()->text().size()); }
    QRect characterRect(int offset) const override {
        const QRect r = feld()->Zeichenfeld(offset);
        return QRect(feld()->mapToGlobal(r.topLeft()), r.size());
    }
    int offsetAtPoint(const QPoint& punkt) const override {
        return feld()->OffsetBei(feld()->mapFromGlobal(punkt));
    }
    void scrollToSubstring(int /*start*/, int /*ende*/) override {}
    QString attributes(int offset, int* start, int* ende) const override {
        *start = *ende = offset;
        return {};
    }

private:
    Satzfeld* feld() const { return static_cast<Satzfeld*>(widget()); }
};

QAccessibleInterface* Zugang(const QString& klasse, QObject* objekt) {
    if (klasse == u"Satzfeld") {
        if (auto* w = qobject_cast<Satzfeld*>(objekt)) {
            return new SatzfeldZugang(w);
        }
    }
    return nullptr;
}

} // namespace

Satzfeld::Satzfeld(QWidget* eltern) : QWidget(eltern) {
    [[maybe_unused]] static const bool zugang = [] {
        QAccessible::installFactory(Zugang);
        return true;
    }();
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_MacShowFocusRect);
    setBackgroundRole(QPalette::Base);
    setSizePolicy(QSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed, QSizePolicy::LineEdit));
    setCursor(Qt::IBeamCursor);
    kopf_.setCacheEnabled(true);
    ganz_.setCacheEnabled(true);
    schwanz_.setCacheEnabled(true);
    NeueSchrift();
}

namespace {

void LegeAus(QTextLayout& layout, const QString& text, const QFont& font, Qt::LayoutDirection r) {
    layout.setText(text);
    layout.setFont(font);
    QTextOption option = layout.textOption();
    option.setTextDirection(r);
    option.setFlags(QTextOption::IncludeTrailingSpaces);
    layout.setTextOption(option);
    layout.beginLayout();
    layout.createLine();
    layout.endLayout();
}

qreal Breite(const QTextLayout& layout) {
    const QTextLine l = layout.lineAt(0);
    return l.isValid() ? l.cursorToX(static_cast<int>(layout.text().size())) : 0;
}

} // namespace

void Satzfeld::Layout(int vorn) {
    // The head stays while the change lies behind it, not far behind: it ends at the last
    // word boundary before the change, so that the next second's change falls behind it too.
    const bool teilen =
        vorn < kopfLaenge_ || vorn > kopfLaenge_ + 12 || text_.left(kopfLaenge_) != kopf_.text();
    if (teilen) {
        kopfLaenge_ =
            static_cast<int>(text_.lastIndexOf(QLatin1Char(' '), std::max(0, vorn - 1))) + 1;
        LegeAus(kopf_, text_.left(kopfLaenge_), font(), layoutDirection());
        kopfBreite_ = Breite(kopf_);
        // Where the head's ink may end: its last letter's end and the font's overhang.
        int ende = kopfLaenge_;
        while (ende > 0 && text_.at(ende - 1).isSpace()) {
            --ende;
        }
        const QTextLine k = kopf_.lineAt(0);
        kopfTinte_ = (k.isValid() ? k.cursorToX(ende) : 0) + ueberhang_;
    }
    LegeAus(schwanz_, text_.mid(kopfLaenge_), font(), layoutDirection());
    // The line's height as a line edit takes it: the text's ink, at least the font's height.
    qreal oben = 0;
    qreal unten = 0;
    for (const QChar c : text_) {
        auto it = tinte_.constFind(c.unicode());
        if (it == tinte_.cend()) {
            const QRectF r = QFontMetricsF(font()).boundingRect(c);
            it = tinte_.insert(c.unicode(), {r.top(), r.bottom()});
        }
        oben = std::min(oben, it->first);
        unten = std::max(unten, it->second);
    }
    zeilenhoehe_ = std::max(static_cast<int>(std::lround(unten - oben)), fontMetrics().height());
    Platziere();
}

void Satzfeld::NeueSchrift() {
    tinte_.clear();
    const QFontMetrics fm = fontMetrics();
    ueberhang_ = std::max(0, -fm.minRightBearing()) + 1;
    vorlauf_ = std::max(0, -fm.minLeftBearing()) + 1;
    kopfLaenge_ = 0;
    kopf_.setText({});
    Layout(0);
}

void Satzfeld::setText(const QString& text) {
    const int n = static_cast<int>(text.size());
    if (text == text_) {
        // As a line edit does: the selection goes, the cursor to the end.
        Setze(n, n);
        return;
    }
    const QString alt = text_;
    const QPoint ursprung = ursprung_;
    // From the first letter that changes on; its x in the old layout is its x in the new one
    // too, but for the letters' bearings, which the margin covers.
    const auto gleich = std::mismatch(alt.begin(), alt.end(), text.begin(), text.end()).first;
    const int vorn = static_cast<int>(gleich - alt.begin());
    const qreal altesX = CursorX(vorn);
    const bool auswahl = hasSelectedText();
    const int altCursor = cursor_;
    text_ = text;
    anker_ = cursor_ = n;
    Layout(vorn);
    if (ursprung_ == ursprung && !auswahl) {
        const qreal x = ursprung_.x() + std::min(altesX, CursorX(vorn)) - vorlauf_;
        const int links = std::max(0, static_cast<int>(std::floor(x)));
        update(QRect(links, 0, width() - links, height()));
    } else {
        update();
    }
    if (QAccessible::isActive()) {
        QAccessibleTextUpdateEvent e(this, 0, alt, text_);
        QAccessible::updateAccessibility(&e);
    }
    if (auswahl) {
        emit selectionChanged();
    }
    if (altCursor != cursor_) {
        emit cursorPositionChanged(altCursor, cursor_);
    }
}

void Satzfeld::setAlignment(Qt::Alignment a) {
    ausrichtung_ = a;
    Platziere();
    update();
}

void Satzfeld::Setze(int anker, int cursor) {
    const int n = static_cast<int>(text_.size());
    anker = std::clamp(anker, 0, n);
    cursor = std::clamp(cursor, 0, n);
    if (anker == anker_ && cursor == cursor_) {
        return;
    }
    const QPoint vorher = ursprung_;
    const int altAnker = std::exchange(anker_, anker);
    const int altCursor = std::exchange(cursor_, cursor);
    const bool altAuswahl = altAnker != altCursor;
    const bool auswahlGleich = (altAuswahl == hasSelectedText()) &&
                               (!altAuswahl || (std::min(altAnker, altCursor) == selectionStart() &&
                                                std::max(altAnker, altCursor) == selectionEnd()));
    if (!auswahlGleich) {
        update();
        if (QAccessible::isActive()) {
            QAccessibleTextSelectionEvent e(this, std::min(anker_, cursor_),
                                            std::max(anker_, cursor_));
            e.setCursorPosition(cursor_);
            QAccessible::updateAccessibility(&e);
        }
        emit selectionChanged();
    }
    if (cursor_ != altCursor) {
        if (!passt_) {
            Platziere();
            if (ursprung_ != vorher) {
                update(); // scrolled to keep the cursor in view
            }
        }
        if (QAccessible::isActive()) {
            QAccessibleTextCursorEvent e(this, cursor_);
            QAccessible::updateAccessibility(&e);
        }
        emit cursorPositionChanged(altCursor, cursor_);
    }
}

void Satzfeld::Bewege(int pos, bool halten) {
    Setze(halten ? anker_ : pos, pos);
}

void Satzfeld::setCursorPosition(int pos) {
    Bewege(pos, false);
}

// As in a line edit: a length of 0 only moves the cursor to start.
void Satzfeld::setSelection(int start, int length) {
    if (length == 0) {
        Setze(start, start);
    } else {
        Setze(start, start + length);
    }
}

void Satzfeld::selectAll() {
    setSelection(0, static_cast<int>(text_.size()));
}

void Satzfeld::deselect() {
    Bewege(cursor_, false);
}

QString Satzfeld::selectedText() const {
    if (!hasSelectedText()) {
        return {};
    }
    return text_.mid(selectionStart(), selectionEnd() - selectionStart());
}

void Satzfeld::copy() const {
    if (hasSelectedText()) {
        QGuiApplication::clipboard()->setText(selectedText());
    }
}

QSize Satzfeld::sizeHint() const {
    ensurePolished();
    const QFontMetrics fm = fontMetrics();
    const int h = fm.height() + 2 * RandSenkrecht;
    const int w = fm.horizontalAdvance(QLatin1Char('x')) * 17 + 2 * RandWaagrecht;
    QStyleOptionFrame o = Rahmen(this);
    return style()->sizeFromContents(QStyle::CT_LineEdit, &o, QSize(w, h), this);
}

QSize Satzfeld::minimumSizeHint() const {
    ensurePolished();
    const QFontMetrics fm = fontMetrics();
    const int h = fm.height() + std::max(2 * RandSenkrecht, fm.leading());
    const int w = fm.maxWidth() + 2 * RandWaagrecht;
    QStyleOptionFrame o = Rahmen(this);
    return style()->sizeFromContents(QStyle::CT_LineEdit, &o, QSize(w, h), this);
}

void Satzfeld::Platziere() {
    const QStyleOptionFrame o = Rahmen(this);
    inhalt_ = style()->subElementRect(QStyle::SE_LineEditContents, &o, this);
    const QRect& r = inhalt_;
    const Qt::Alignment va = QStyle::visualAlignment(layoutDirection(), ausrichtung_);
    int oben = 0;
    switch (va & Qt::AlignVertical_Mask) {
    case Qt::AlignBottom:
        oben = r.y() + r.height() - zeilenhoehe_ - RandSenkrecht;
        break;
    case Qt::AlignTop:
        oben = r.y() + RandSenkrecht;
        break;
    default:
        oben = r.y() + (r.height() - zeilenhoehe_ + 1) / 2;
        break;
    }
    zeile_ = QRect(r.x() + RandWaagrecht, oben, r.width() - 2 * RandWaagrecht, zeilenhoehe_);

    const QFontMetrics fm = fontMetrics();
    const QTextLine s = schwanz_.lineAt(0);
    const qreal natuerlich = kopfBreite_ + (s.isValid() ? s.naturalTextWidth() : 0);
    const int breite = static_cast<int>(std::lround(natuerlich)) + 1;
    int scroll = 0;
    passt_ = breite <= zeile_.width();
    if (passt_) {
        switch (va & ~(Qt::AlignAbsolute | Qt::AlignVertical_Mask)) {
        case Qt::AlignRight:
            scroll = breite - zeile_.width() + 1;
            break;
        case Qt::AlignHCenter:
            scroll = (breite - zeile_.width()) / 2;
            break;
        default:
            break;
        }
    } else {
        // Too long for the box: the cursor stays in view.
        const int cx = static_cast<int>(std::lround(CursorX(cursor_)));
        scroll = std::clamp(hscroll_, std::max(0, cx - zeile_.width() + 1), std::max(0, cx));
        scroll = std::min(scroll, std::max(0, breite - zeile_.width() + 1));
    }
    hscroll_ = scroll;
    const QTextLine l = kopfLaenge_ > 0 ? kopf_.lineAt(0) : s;
    const int oberlaenge = l.isValid() ? static_cast<int>(std::lround(l.ascent())) : fm.ascent();
    ursprung_ = zeile_.topLeft() - QPoint(scroll, oberlaenge - fm.ascent());
}

qreal Satzfeld::CursorX(int pos) const {
    if (pos <= kopfLaenge_) {
        const QTextLine k = kopf_.lineAt(0);
        return k.isValid() ? k.cursorToX(pos) : 0;
    }
    const QTextLine s = schwanz_.lineAt(0);
    return kopfBreite_ + (s.isValid() ? s.cursorToX(pos - kopfLaenge_) : 0);
}

QRect Satzfeld::Zeichenfeld(int offset) const {
    const qreal x = CursorX(offset);
    const qreal bis = offset < text_.size() ? CursorX(offset + 1) : x;
    const int links = ursprung_.x() + static_cast<int>(std::lround(x));
    return {links, zeile_.y(), std::max(1, static_cast<int>(std::lround(bis - x))), zeilenhoehe_};
}

int Satzfeld::OffsetBei(QPoint punkt) const {
    const qreal x = punkt.x() - ursprung_.x();
    if (x < kopfBreite_ && kopfLaenge_ > 0) {
        return kopf_.lineAt(0).xToCursor(x);
    }
    const QTextLine s = schwanz_.lineAt(0);
    return kopfLaenge_ + (s.isValid() ? s.xToCursor(x - kopfBreite_) : 0);
}

void Satzfeld::paintEvent(QPaintEvent* e) {
    QPainter p(this);
    const QStyleOptionFrame o = Rahmen(this);
    style()->drawPrimitive(QStyle::PE_PanelLineEdit, &o, &p, this);
    p.setClipRect(inhalt_, Qt::IntersectClip);
    const QPalette pal = palette();
    p.setPen(pal.text().color());
    if (hasSelectedText()) {
        // The selection as one layout draws it: its edges fall where a line edit's do, also
        // between pixels.
        if (ganz_.text() != text_) {
            LegeAus(ganz_, text_, font(), layoutDirection());
        }
        QTextLayout::FormatRange f;
        f.start = selectionStart();
        f.length = selectionEnd() - selectionStart();
        f.format.setBackground(pal.brush(QPalette::Highlight));
        f.format.setForeground(pal.brush(QPalette::HighlightedText));
        ganz_.draw(&p, ursprung_, {f}, inhalt_);
        return;
    }
    // The head only where it may have ink: a tick redraws the tail alone.
    if (kopfLaenge_ > 0 && e->rect().left() <= ursprung_.x() + kopfTinte_) {
        kopf_.draw(&p, ursprung_, {}, inhalt_);
    }
    schwanz_.draw(&p, QPointF(ursprung_) + QPointF(kopfBreite_, 0), {}, inhalt_);
}

void Satzfeld::resizeEvent(QResizeEvent* e) {
    Platziere();
    QWidget::resizeEvent(e);
}

void Satzfeld::changeEvent(QEvent* e) {
    switch (e->type()) {
    case QEvent::FontChange:
    case QEvent::LayoutDirectionChange:
    case QEvent::StyleChange:
        ganz_.clearLayout();
        ganz_.setText({});
        NeueSchrift();
        update();
        break;
    case QEvent::ActivationChange:
    case QEvent::PaletteChange:
    case QEvent::EnabledChange:
        update();
        break;
    default:
        break;
    }
    QWidget::changeEvent(e);
}

void Satzfeld::focusInEvent(QFocusEvent* e) {
    // As a line edit: reached by Tab, the whole text is selected, unless a part already is.
    if ((e->reason() == Qt::TabFocusReason || e->reason() == Qt::BacktabFocusReason) &&
        !hasSelectedText()) {
        selectAll();
    }
    update();
    QWidget::focusInEvent(e);
}

void Satzfeld::focusOutEvent(QFocusEvent* e) {
    if (e->reason() != Qt::ActiveWindowFocusReason && e->reason() != Qt::PopupFocusReason) {
        deselect();
    }
    update();
    QWidget::focusOutEvent(e);
}

// The next or previous letter's place, or word's start.
int Satzfeld::Grenze(int pos, QTextBoundaryFinder::BoundaryType art, bool vor) const {
    QTextBoundaryFinder finder(art, text_);
    finder.setPosition(pos);
    for (;;) {
        const qsizetype p = vor ? finder.toNextBoundary() : finder.toPreviousBoundary();
        if (p < 0) {
            return vor ? static_cast<int>(text_.size()) : 0;
        }
        if (art != QTextBoundaryFinder::Word ||
            (finder.boundaryReasons() & QTextBoundaryFinder::StartOfItem)) {
            return static_cast<int>(p);
        }
    }
}

void Satzfeld::keyPressEvent(QKeyEvent* e) {
    const QTextBoundaryFinder::BoundaryType wort = QTextBoundaryFinder::Word;
    const int n = static_cast<int>(text_.size());
    if (e == QKeySequence::Copy) {
        copy();
    } else if (e == QKeySequence::SelectAll) {
        selectAll();
    } else if (e == QKeySequence::MoveToNextChar || e == QKeySequence::SelectNextChar) {
        Bewege(Grenze(cursor_, QTextBoundaryFinder::Grapheme, true),
               e == QKeySequence::SelectNextChar);
    } else if (e == QKeySequence::MoveToPreviousChar || e == QKeySequence::SelectPreviousChar) {
        Bewege(Grenze(cursor_, QTextBoundaryFinder::Grapheme, false),
               e == QKeySequence::SelectPreviousChar);
    } else if (e == QKeySequence::MoveToNextWord || e == QKeySequence::SelectNextWord) {
        Bewege(Grenze(cursor_, wort, true), e == QKeySequence::SelectNextWord);
    } else if (e == QKeySequence::MoveToPreviousWord || e == QKeySequence::SelectPreviousWord) {
        Bewege(Grenze(cursor_, wort, false), e == QKeySequence::SelectPreviousWord);
    } else if (e == QKeySequence::MoveToStartOfLine || e == QKeySequence::MoveToStartOfBlock ||
               e == QKeySequence::MoveToStartOfDocument) {
        Bewege(0, false);
    } else if (e == QKeySequence::SelectStartOfLine || e == QKeySequence::SelectStartOfBlock ||
               e == QKeySequence::SelectStartOfDocument) {
        Bewege(0, true);
    } else if (e == QKeySequence::MoveToEndOfLine || e == QKeySequence::MoveToEndOfBlock ||
               e == QKeySequence::MoveToEndOfDocument) {
        Bewege(n, false);
    } else if (e == QKeySequence::SelectEndOfLine || e == QKeySequence::SelectEndOfBlock ||
               e == QKeySequence::SelectEndOfDocument) {
        Bewege(n, true);
    } else {
        // Enter, Esc and the rest belong to the window.
        e->ignore();
        return;
    }
    e->accept();
}

void Satzfeld::mousePressEvent(QMouseEvent* e) {
    if (e->button() != Qt::LeftButton) {
        e->ignore();
        return;
    }
    ziehen_ = true;
    Bewege(OffsetBei(e->position().toPoint()), (e->modifiers() & Qt::ShiftModifier) != 0);
}

void Satzfeld::mouseMoveEvent(QMouseEvent* e) {
    if (ziehen_ && (e->buttons() & Qt::LeftButton)) {
        Bewege(OffsetBei(e->position().toPoint()), true);
    }
}

void Satzfeld::mouseReleaseEvent(QMouseEvent* e) {
    if (e->button() == Qt::LeftButton) {
        ziehen_ = false;
        if (hasSelectedText() && QGuiApplication::clipboard()->supportsSelection()) {
            QGuiApplication::clipboard()->setText(selectedText(), QClipboard::Selection);
        }
    }
}

void Satzfeld::mouseDoubleClickEvent(QMouseEvent* e) {
    if (e->button() != Qt::LeftButton) {
        return;
    }
    const int pos = OffsetBei(e->position().toPoint());
    // The word under the mouse, without the spaces after it.
    const int start =
        Grenze(std::min(pos + 1, static_cast<int>(text_.size())), QTextBoundaryFinder::Word, false);
    int ende = Grenze(start, QTextBoundaryFinder::Word, true);
    while (ende > pos && text_.at(ende - 1).isSpace()) {
        --ende;
    }
    setSelection(start, ende - start);
}

void Satzfeld::contextMenuEvent(QContextMenuEvent* e) {
    // A read-only line edit's menu, in Qt's own words.
    QMenu menu(this);
    QAction* kopieren =
        menu.addAction(QCoreApplication::translate("QLineEdit", "&Copy"), this, &Satzfeld::copy);
    kopieren->setShortcut(QKeySequence::Copy);
    kopieren->setEnabled(hasSelectedText());
    menu.addSeparator();
    QAction* alles = menu.addAction(QCoreApplication::translate("QLineEdit", "Select All"), this,
                                    &Satzfeld::selectAll);
    alles->setShortcut(QKeySequence::SelectAll);
    alles->setEnabled(!text_.isEmpty() && selectedText() != text_);
    menu.exec(e->globalPos());
}
