#pragma once
// A label for a value that changes on every monitor tick. A plain label
// shapes its text anew and blends each glyph from the font's coverage at
// each repaint; this one keeps, per character, its glyph drawn once in the
// label's font and colour, and lays out a single line of Latin-1 text from
// those pictures and the glyphs' advances. A text it cannot lay out that way
// (rich text, several lines, word wrap, characters beyond Latin-1 or missing
// from the font) is painted as a plain label paints it. The label paints its
// own background, so a new text repaints only the label and not the widgets
// beneath it.

#include <QColor>
#include <QImage>
#include <QLabel>
#include <QRawFont>

#include <array>
#include <vector>

class TickerLabel : public QLabel {
public:
    explicit TickerLabel(QWidget* parent = nullptr);

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
    };
    // The glyphs of the text, or false when the plain label has to paint it.
    bool LayOut(const QString& text);
    void Forget();
    void Draw(Glyph& glyph);

    QRawFont raw_;
    bool rawValid_ = false;
    QColor colour_;
    qreal ratio_ = 0;
    std::array<Glyph, 256> glyphs_{};
    std::vector<Glyph*> line_;
    std::vector<qreal> xs_;
    qreal width_ = 0;
};

// A ticker label with its caption, named and placed as Make places widgets.
TickerLabel* MakeTickerLabel(QWidget* parent, const char* name, const QString& text, QRect geometry);
