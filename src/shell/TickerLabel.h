#pragma once
// A label for a value that changes on every monitor tick. A plain label
// shapes its text anew and blends each glyph from the font's coverage at
// each repaint; this one keeps, per character, its glyph drawn once in the
// label's font and colour, and lays out a single line of Latin-1 text from
// those pictures and the glyphs' advances. A text it cannot lay out that way
// (rich text, several lines, word wrap, characters beyond Latin-1 or missing
// from the font) is painted as a plain label paints it. The label paints its
// own background, so a new text repaints only the label and not the widgets
// beneath it; background and frame come from a picture drawn once. A new
// text that differs from the shown one in a few characters repaints only
// those.

#include "shell/FrameBackdrop.h"

#include <QColor>
#include <QImage>
#include <QLabel>
#include <QRawFont>

#include <array>
#include <vector>

class TickerLabel : public QLabel {
public:
    explicit TickerLabel(QWidget* parent = nullptr);

    // As QLabel::setText; when both the shown and the new text can be laid
    // out, only the glyphs that changed or moved are repainted.
    // (A call through a QLabel pointer repaints all of the label.)
    void setText(const QString& text);

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    struct Glyph {
        bool known = false; // looked up in the font
        quint32 index = 0;  // 0: the font has none
        qreal advance = 0;
        QImage picture;     // the glyph in the label's colour, on transparent
        QPoint offset;      // of the picture's corner from the glyph's origin
        QSize extent;       // of the picture on the label, in its pixels
    };
    // The glyphs of the text, or false when the plain label has to paint it.
    bool LayOut(const QString& text);
    void Forget();
    void Draw(Glyph& glyph);
    // The background, and the frame when framed; false (nothing painted) when
    // the widgets beneath must show through it.
    bool PaintBackground(QPainter& painter, bool framed);
    // Where the laid-out line starts, and its baseline.
    QPointF Origin();
    // Where glyph is drawn at x along a line that starts at origin.
    static QRect Place(const Glyph& glyph, qreal x, QPointF origin);
    // The part of the label where text differs from the shown text, or false
    // when either cannot be laid out. Leaves text laid out.
    bool ChangedPart(const QString& shown, const QString& text, QRect& part);

    QRawFont raw_;
    bool rawValid_ = false;
    qreal ascent_ = 0, descent_ = 0; // of raw_
    QColor colour_;
    qreal ratio_ = 0;
    std::array<Glyph, 256> glyphs_{};
    std::vector<Glyph*> line_;
    std::vector<qreal> xs_;
    std::vector<Glyph*> shownLine_; // the shown text, while a new one is compared with it
    std::vector<qreal> shownXs_;
    qreal halfX_ = -1; // half an "x" of the font, once measured
    qreal width_ = 0;
    QString laidOut_; // the text line_ holds, empty when none
    FrameBackdrop backdrop_;
};

// A ticker label with its caption, named and placed as Make places widgets;
// its size is fixed to the geometry's, and its texts are plain (a tag shows
// as it is written).
TickerLabel* MakeTickerLabel(QWidget* parent, const char* name, const QString& text, QRect geometry);
