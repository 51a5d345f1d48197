#include "shell/QtStatusView.h"

#include "shell/Colours.h"
#include "shell/WidgetFactory.h"

#include <QPainter>
#include <QScrollBar>
#include <QTextLayout>

namespace {
QTextOption WrapOption(Qt::Alignment alignment)
{
    QTextOption option(alignment);
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    return option;
}

// The text as it is drawn: a CR LF is one line break.
QString Lines(const QString& text)
{
    QString lines = text;
    lines.replace("\r\n", "\n");
    lines.replace('\r', '\n');
    return lines;
}
} // namespace

int WrappingLabel::HeightFor(int width) const
{
    QTextLayout layout;
    int height = 0;
    for (const QString& line : Lines(text()).split('\n')) {
        layout.setText(line);
        layout.setFont(font());
        layout.setTextOption(WrapOption(alignment()));
        layout.beginLayout();
        for (QTextLine l = layout.createLine(); l.isValid(); l = layout.createLine()) {
            l.setLineWidth(width);
            height += qCeil(l.height());
        }
        layout.endLayout();
    }
    return height;
}

void WrappingLabel::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setPen(palette().color(QPalette::WindowText));
    painter.drawText(QRectF(contentsRect()), Lines(text()), WrapOption(alignment()));
}

StatusBox::StatusBox(QWidget* parent, QRect geometry, const QFont& font) : QScrollArea(parent)
{
    setObjectName("StatusBox");
    setGeometry(geometry);
    setFrameShape(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setWidgetResizable(false);
    label_ = new WrappingLabel;
    label_->setObjectName("lblStatus");
    label_->setFont(font);
    label_->setAlignment(Qt::AlignRight | Qt::AlignTop);
    label_->setTextInteractionFlags(Qt::NoTextInteraction);
    setWidget(label_);
    viewport()->setAutoFillBackground(false);
    setAutoFillBackground(false);
    Relayout();
}

void StatusBox::SetText(const QString& text)
{
    label_->setText(text);
    Relayout();
}

void StatusBox::Relayout()
{
    // The scroll bar takes room only when the text is taller than the box.
    int width = viewport()->width();
    int height = label_->HeightFor(width);
    const bool scrolls = height > maximumViewportSize().height();
    width = maximumViewportSize().width() - (scrolls ? verticalScrollBar()->sizeHint().width() : 0);
    height = label_->HeightFor(width);
    label_->resize(width, std::max(height, maximumViewportSize().height()));
}

void StatusBox::resizeEvent(QResizeEvent* event)
{
    QScrollArea::resizeEvent(event);
    Relayout();
}

void QtStatusView::ShowStatus(const std::string& text, Rgb background)
{
    status_->SetText(Latin1Text(text));
    status_->Label()->setToolTip(status_->Label()->text());
    SetPanelColour(status_->Label(), background);
}

ActivityLamp::ActivityLamp(QWidget* parent) : QFrame(parent)
{
    setFrameStyle(QFrame::Panel | QFrame::Sunken);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void ActivityLamp::SetColour(Rgb colour)
{
    if (colour == colour_)
        return;
    colour_ = colour;
    update();
}

void ActivityLamp::paintEvent(QPaintEvent*)
{
    const FrameLook look = LookOf(*this, QBrush(ToQColor(colour_)));
    int slot = pictures_[0].Shows(look) ? 0 : pictures_[1].Shows(look) ? 1 : -1;
    if (slot < 0) {
        slot = older_;
        older_ = 1 - older_;
    }
    const QImage& picture = pictures_[slot].Picture(look, [this](QPainter& painter) { drawFrame(&painter); });
    QPainter painter(this);
    painter.drawImage(QPoint(0, 0), picture);
}

Rgb QtStatusView::LampColour() const
{
    return lamp_->Colour();
}

void QtStatusView::SetLampColour(Rgb colour)
{
    lamp_->SetColour(colour);
}
