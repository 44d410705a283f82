// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QHash>
#include <QString>
#include <QTextBoundaryFinder>
#include <QTextLayout>
#include <QWidget>

#include <algorithm>
#include <utility>

// A box of the clock's time, in digits or as a sentence: read-only text drawn as a line edit
// draws it (frame, text, selection, focus), selectable by mouse and keyboard, copied by Ctrl+C
// or its context menu, and read by a screen reader as a read-only text (its own accessible
// interface).
//
// A line edit lays its text out on every change and again on every paint; the time changes
// once a second, at its end. This box lays the text out once per change and redraws
// only from the first changed letter on, so that an idle clock draws a few glyphs a second.
class Satzfeld : public QWidget {
    Q_OBJECT
    Q_PROPERTY(QString text READ text WRITE setText)
public:
    explicit Satzfeld(QWidget* eltern = nullptr);

    QString text() const { return text_; }
    void setText(const QString& text);

    bool isReadOnly() const { return true; }
    bool hasFrame() const { return true; }
    Qt::Alignment alignment() const { return ausrichtung_; }
    void setAlignment(Qt::Alignment a);

    int cursorPosition() const { return cursor_; }
    void setCursorPosition(int pos);
    // As in a line edit: the selection runs from start over length letters, the cursor at its
    // end.
    void setSelection(int start, int length);
    void selectAll();
    void deselect();
    bool hasSelectedText() const { return anker_ != cursor_; }
    QString selectedText() const;
    int selectionStart() const { return hasSelectedText() ? std::min(anker_, cursor_) : -1; }
    int selectionEnd() const { return hasSelectedText() ? std::max(anker_, cursor_) : -1; }
    void copy() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

    // Where the letter at offset is drawn, in the box's coordinates, and the offset nearest x.
    QRect Zeichenfeld(int offset) const;
    int OffsetBei(QPoint punkt) const;

signals:
    void selectionChanged();
    void cursorPositionChanged(int alt, int neu);

protected:
    void paintEvent(QPaintEvent* e) override;
    void changeEvent(QEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    void focusInEvent(QFocusEvent* e) override;
    void focusOutEvent(QFocusEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void mouseDoubleClickEvent(QMouseEvent* e) override;
    void contextMenuEvent(QContextMenuEvent* e) override;

private:
    // Lays the text out anew from the letter vorn on (the head before it stays when it can).
    void Layout(int vorn);
    void NeueSchrift();
    // The line's place and the text's origin, as a line edit places them.
    void Platziere();
    qreal CursorX(int pos) const;
    int Grenze(int pos, QTextBoundaryFinder::BoundaryType art, bool vor) const;
    // Sets the selection's anchor and the cursor, and reports what changed.
    void Setze(int anker, int cursor);
    // Moves the cursor, keeping the anchor when halten is set.
    void Bewege(int pos, bool halten);

    QString text_;
    // The text in two layouts: a head that stays while the time changes only behind it, and
    // the tail, laid out anew on each change.
    QTextLayout kopf_;
    QTextLayout schwanz_;
    // The whole text, laid out only while a part is selected.
    QTextLayout ganz_;
    int kopfLaenge_ = 0;
    qreal kopfBreite_ = 0;
    qreal kopfTinte_ = 0; // where the head's ink may end
    // Each letter's ink from the baseline up and down, in the current font.
    QHash<char16_t, std::pair<qreal, qreal>> tinte_;
    int ueberhang_ = 1; // how far a letter's ink may reach beyond its advance, and before it
    int vorlauf_ = 1;

    Qt::Alignment ausrichtung_ = Qt::AlignLeft | Qt::AlignVCenter;
    QRect inhalt_;
    QRect zeile_;
    QPoint ursprung_;
    bool passt_ = true;
    int hscroll_ = 0;
    int zeilenhoehe_ = 0; // the line's height as a line edit takes it: its ink, at least the font's
    int anker_ = 0;
    int cursor_ = 0;
    bool ziehen_ = false;
};
