// Charts and their export: every file format is opened again by an
// independent reader (emf2svg-conv for EMF, wmf2svg for WMF, an XML reader
// for SVG, the image readers for PNG and BMP), and the chart must be found in
// it: the curve with a vertex for every point, inside the plot, and the axis
// titles. Long series are drawn from their summary.

#include "FileSizeLimit.h"
#include "chart/ChartExport.h"
#include "chart/ChartRenderer.h"
#include "chart/Metafile.h"

#include <QBuffer>
#include <QColor>
#include <QDir>
#include <QFile>
#include <QFont>
#include <QGuiApplication>
#include <QPainter>
#include <QProcess>
#include <QRegularExpression>
#include <QSvgGenerator>
#include <QTemporaryDir>
#include <QTransform>
#include <QXmlStreamReader>

#include <gtest/gtest.h>

#include <cmath>
#include <memory>

namespace {
constexpr int kPoints = 60;
const QSize kSize(390, 250);
const char* kLeftTitle = "Air gap (\xC2\xB5m)";
const char* kBottomTitle = "Angle (deg)";

// The window font of the tool, for every test.
QFont ChartFont()
{
    QFont font("Tahoma");
    font.setPointSize(8);
    return font;
}

class ChartTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        if (!QGuiApplication::instance()) {
            qputenv("QT_QPA_PLATFORM", "offscreen");
            static int argc = 1;
            static char name[] = "test_chart";
            static char* argv[] = {name, nullptr};
            new QGuiApplication(argc, argv);
        }
    }

    // An install chart: a turn of air gap, limit lines and two CRC marks.
    static ChartModel InstallChart(int points = kPoints)
    {
        ChartModel chart;
        chart.left.SetRange(150, 550);
        chart.left.title = kLeftTitle;
        chart.SetBottomRange(0, 360);
        chart.bottom.increment = 45;
        chart.bottom.title = kBottomTitle;
        ChartSeries& signal = chart.AddSeries(SeriesKind::Line, ChartColours::kSteelBlue);
        for (int i = 0; i < points; ++i) {
            const float angle = 360.0f * static_cast<float>(i) / static_cast<float>(points - 1);
            signal.Add(angle, 350 + 120 * std::sin(angle * 3.14159265f / 180));
        }
        ChartSeries& crc = chart.AddSeries(SeriesKind::Points, ChartColours::kFuchsia);
        crc.Add(100, 530);
        crc.Add(200, 530);
        ChartSeries& limit = chart.AddSeries(SeriesKind::Line, ChartColours::kRed);
        limit.Add(0, 500);
        limit.Add(360, 500);
        return chart;
    }

    static QRectF Plot(const ChartModel& chart) { return LayOutChart(chart, QRectF(QPointF(0, 0), QSizeF(kSize)), ChartFont()).plot; }

    QString Save(const ChartModel& chart, const char* name, int filterIndex = 1)
    {
        const ChartImageFile file = ResolveChartImageFile(dir_.filePath(name).toStdString(), filterIndex);
        EXPECT_TRUE(SaveChartImage(chart, kSize, ChartFont(), file)) << file.fileName;
        return QString::fromStdString(file.fileName);
    }

    // Runs a converter and returns its SVG output.
    QString Convert(const QString& program, const QStringList& arguments, const QString& output)
    {
        QProcess process;
        process.start(program, arguments);
        EXPECT_TRUE(process.waitForFinished(30000)) << program.toStdString() << " did not run (is it installed?)";
        EXPECT_EQ(process.exitCode(), 0) << process.readAllStandardError().toStdString();
        QFile file(output);
        EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << output.toStdString();
        return file.fileName();
    }

    QTemporaryDir dir_;
};

// What an SVG file draws: the vertices of strokes by colour, and the texts.
struct SvgContent {
    struct Stroke {
        QColor colour;
        std::vector<QPointF> vertices;
    };
    std::vector<Stroke> strokes;
    QStringList texts;

    // Vertices of strokes within a small distance of the colour (readers
    // may name the nearest colour they know).
    std::vector<QPointF> VerticesOf(ChartColour colour) const
    {
        const QColor wanted(static_cast<int>(colour >> 16 & 0xFF), static_cast<int>(colour >> 8 & 0xFF),
                            static_cast<int>(colour & 0xFF));
        std::vector<QPointF> out;
        for (const Stroke& s : strokes)
            if (std::abs(s.colour.red() - wanted.red()) + std::abs(s.colour.green() - wanted.green()) +
                    std::abs(s.colour.blue() - wanted.blue()) <
                64)
                out.insert(out.end(), s.vertices.begin(), s.vertices.end());
        return out;
    }
};

QTransform ParseTransform(const QString& text)
{
    QTransform t;
    static const QRegularExpression part("(matrix|translate)\\s*\\(([^)]*)\\)");
    for (auto it = part.globalMatch(text); it.hasNext();) {
        const auto m = it.next();
        QList<double> v;
        for (const QString& n : m.captured(2).split(QRegularExpression("[,\\s]+"), Qt::SkipEmptyParts))
            v << n.toDouble();
        if (m.captured(1) == "matrix" && v.size() == 6)
            t = QTransform(v[0], v[1], v[2], v[3], v[4], v[5]) * t;
        else if (m.captured(1) == "translate" && !v.isEmpty())
            t = QTransform::fromTranslate(v[0], v.size() > 1 ? v[1] : 0) * t;
    }
    return t;
}

std::vector<QPointF> Numbers(const QString& text)
{
    static const QRegularExpression number("-?\\d+(\\.\\d+)?(e-?\\d+)?");
    std::vector<double> values;
    for (auto it = number.globalMatch(text); it.hasNext();)
        values.push_back(it.next().captured(0).toDouble());
    std::vector<QPointF> points;
    for (size_t i = 0; i + 1 < values.size(); i += 2)
        points.emplace_back(values[i], values[i + 1]);
    return points;
}

QString StrokeOf(const QXmlStreamAttributes& a, const QString& inherited)
{
    if (a.hasAttribute("stroke"))
        return a.value("stroke").toString();
    static const QRegularExpression style("stroke\\s*:\\s*([^;]+)");
    const auto m = style.match(a.value("style").toString());
    return m.hasMatch() ? m.captured(1).trimmed() : inherited;
}

SvgContent ReadSvg(const QString& xml)
{
    SvgContent content;
    QXmlStreamReader reader(xml);
    std::vector<std::pair<QTransform, QString>> groups{{QTransform(), QString("none")}};
    QString* text = nullptr;
    while (!reader.atEnd()) {
        reader.readNext();
        if (reader.isStartElement()) {
            const QXmlStreamAttributes a = reader.attributes();
            const QString name = reader.name().toString();
            const QTransform t = ParseTransform(a.value("transform").toString()) * groups.back().first;
            const QString stroke = StrokeOf(a, groups.back().second);
            groups.emplace_back(t, stroke);
            std::vector<QPointF> vertices;
            if (name == "polyline" || name == "polygon")
                vertices = Numbers(a.value("points").toString());
            else if (name == "path")
                vertices = Numbers(a.value("d").toString());
            else if (name == "line")
                vertices = Numbers(QStringList{a.value("x1").toString(), a.value("y1").toString(), a.value("x2").toString(), a.value("y2").toString()}.join(" "));
            if (!vertices.empty() && stroke != "none") {
                for (QPointF& p : vertices)
                    p = t.map(p);
                content.strokes.push_back({QColor::fromString(stroke), std::move(vertices)});
            }
            if (name == "text") {
                content.texts << QString();
                text = &content.texts.back();
            }
        } else if (reader.isEndElement()) {
            groups.pop_back();
            if (reader.name() == QLatin1String("text"))
                text = nullptr;
        } else if (reader.isCharacters() && text) {
            *text += reader.text();
        }
    }
    EXPECT_FALSE(reader.hasError()) << reader.errorString().toStdString();
    return content;
}

QString ReadText(const QString& fileName, bool latin1 = false)
{
    QFile file(fileName);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << fileName.toStdString();
    const QByteArray bytes = file.readAll();
    return latin1 ? QString::fromLatin1(bytes) : QString::fromUtf8(bytes);
}

// The chart is in the file: the curve with at least a vertex per point, all
// inside the plot (with a pixel to spare for the readers' rounding), and the
// axis titles. scale maps our pixels to the reader's units.
void ExpectChart(const SvgContent& svg, const QRectF& plot, double scale = 1)
{
    const std::vector<QPointF> curve = svg.VerticesOf(ChartColours::kSteelBlue);
    EXPECT_GE(curve.size(), static_cast<size_t>(kPoints));
    const QRectF room = QRectF(plot.topLeft() * scale, plot.size() * scale).adjusted(-1.5, -1.5, 1.5, 1.5);
    for (const QPointF& p : curve)
        EXPECT_TRUE(room.contains(p)) << p.x() << "," << p.y();
    EXPECT_TRUE(svg.texts.contains(QString::fromUtf8(kLeftTitle))) << svg.texts.join("|").toStdString();
    EXPECT_TRUE(svg.texts.contains(kBottomTitle));
    EXPECT_FALSE(svg.VerticesOf(ChartColours::kRed).empty());
}
} // namespace

TEST_F(ChartTest, EnhancedMetafileReadsBackWithEmf2svg)
{
    const ChartModel chart = InstallChart();
    const QString emf = Save(chart, "chart.emf");
    const QString svg = dir_.filePath("from-emf.svg");
    Convert("emf2svg-conv", {"-i", emf, "-o", svg}, svg);
    ExpectChart(ReadSvg(ReadText(svg)), Plot(chart));
}

TEST_F(ChartTest, PlaceableMetafileReadsBackWithWmf2svg)
{
    const ChartModel chart = InstallChart();
    const QString wmf = Save(chart, "chart.wmf");
    const QString svg = dir_.filePath("from-wmf.svg");
    Convert("wmf2svg", {"-o", svg, wmf}, svg);
    // wmf2svg writes the metafile's Latin-1 strings as they are, without
    // declaring an encoding; its picture is a fraction of a pixel smaller.
    ExpectChart(ReadSvg(ReadText(svg, true)), Plot(chart), 389.0 / 390);
}

TEST_F(ChartTest, SvgReadsBackWithAnXmlReader)
{
    const ChartModel chart = InstallChart();
    ExpectChart(ReadSvg(ReadText(Save(chart, "chart.svg"))), Plot(chart));
}

TEST_F(ChartTest, PngAndBmpLoadBackAsTheChartOnScreen)
{
    const ChartModel chart = InstallChart();
    const QImage screen = RenderChartImage(chart, kSize, ChartFont());
    const QRectF plot = Plot(chart);
    for (const char* name : {"chart.png", "chart.bmp"}) {
        const QImage image(Save(chart, name));
        ASSERT_EQ(image.size(), kSize) << name;
        EXPECT_EQ(image.convertToFormat(QImage::Format_RGB32), screen) << name;
        // A steel blue pixel at (or next to) every point of the curve inside the frame.
        const ChartSeries& curve = chart.Series().front();
        for (const ChartPoint& p : curve.Points()) {
            if (p.x >= 359)
                continue;
            const QPointF at(plot.left() + p.x / 360 * plot.width(), plot.bottom() - (p.y - 150) / 400 * plot.height());
            bool found = false;
            for (int dx = -1; dx <= 1 && !found; ++dx)
                for (int dy = -1; dy <= 1 && !found; ++dy)
                    found = image.pixelColor(at.toPoint() + QPoint(dx, dy)) == QColor(0x45, 0x66, 0xA3);
            EXPECT_TRUE(found) << name << " at " << p.x;
        }
        // The titles are written where the layout put them.
        const ChartLayout layout = LayOutChart(chart, QRectF(QPointF(0, 0), QSizeF(kSize)), ChartFont());
        for (const QRectF& title : {layout.leftTitle, layout.bottomTitle}) {
            int ink = 0;
            for (int x = static_cast<int>(title.left()); x < title.right(); ++x)
                for (int y = static_cast<int>(title.top()); y < title.bottom(); ++y)
                    ink += qGray(image.pixel(x, y)) < 128;
            EXPECT_GT(ink, 20) << name;
        }
    }
}

// The frame on screen and in pictures takes exactly the pixels of a
// 1-pixel outline of the plot, whatever fractions the layout gives it.
TEST_F(ChartTest, TheFrameTakesThePixelsOfAnOutlineOfThePlot)
{
    const ChartModel chart = InstallChart();
    for (int extra = 0; extra < 12; ++extra) {
        const QSize size(kSize.width() + extra * 7, kSize.height() + extra * 3);
        const QRectF plot = LayOutChart(chart, QRectF(QPointF(0, 0), QSizeF(size)), ChartFont()).plot;
        QImage outline(size, QImage::Format_RGB32);
        outline.fill(Qt::white);
        {
            QPainter painter(&outline);
            painter.setPen(QPen(Qt::black, 1));
            painter.drawRect(plot);
        }
        const QImage image = RenderChartImage(chart, size, ChartFont());
        const QRgb black = qRgb(0, 0, 0);
        int framePixels = 0;
        for (int y = 0; y < size.height(); ++y)
            for (int x = 0; x < size.width(); ++x)
                if (outline.pixel(x, y) == black) {
                    ++framePixels;
                    ASSERT_EQ(image.pixel(x, y), black) << "at " << x << "," << y << ", size " << size.width() << "x"
                                                        << size.height();
                }
        // Just above the top edge and left of the right edge's column: no frame there.
        const QRect frame = QRect(QPoint(static_cast<int>(std::floor(plot.left())), static_cast<int>(std::floor(plot.top()))),
                                  QPoint(static_cast<int>(std::floor(plot.right())), static_cast<int>(std::floor(plot.bottom()))));
        ASSERT_GT(framePixels, 0);
        for (int x = frame.left() + 1; x < frame.right(); ++x)
            ASSERT_NE(image.pixel(x, frame.top() - 1), black) << "above the frame at " << x;
    }
}

TEST_F(ChartTest, FormatFollowsTheExtensionOrElseTheSelectedFilter)
{
    struct Case {
        const char* chosen;
        int filter;
        const char* file;
        ChartImageFormat format;
    };
    const Case cases[] = {
        {"graph", 2, "graph.bmp", ChartImageFormat::Bmp},
        {"graph.PNG", 2, "graph.PNG", ChartImageFormat::Png},
        {"graph.txt", 4, "graph.emf", ChartImageFormat::Emf},
        {"graph.Wmf", 1, "graph.Wmf", ChartImageFormat::Wmf},
        {"graph", 5, "graph.svg", ChartImageFormat::Svg},
        {"/data/v1.2/graph", 1, "/data/v1.2/graph.png", ChartImageFormat::Png},
        {"graph", 0, "graph.png", ChartImageFormat::Png},
    };
    for (const Case& c : cases) {
        const ChartImageFile f = ResolveChartImageFile(c.chosen, c.filter);
        EXPECT_EQ(f.fileName, c.file) << c.chosen;
        EXPECT_EQ(f.format, c.format) << c.chosen;
    }
    // Saved under "graph.PNG" with the BMP filter selected: a PNG file of that name.
    const QString saved = Save(InstallChart(), "graph.PNG", 2);
    QFile file(saved);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_TRUE(file.read(8).startsWith("\x89PNG"));
    // A file that cannot be written is no success.
    EXPECT_FALSE(SaveChartImage(InstallChart(), kSize, ChartFont(), {dir_.filePath("none/graph.emf").toStdString(), ChartImageFormat::Emf}));
}

TEST_F(ChartTest, AnExportThatFailsLeavesTheEarlierFileAsItWas)
{
    for (const char* name : {"graph.png", "graph.bmp", "graph.svg", "graph.emf", "graph.wmf"}) {
        const QString path = dir_.filePath(name);
        {
            QFile earlier(path);
            ASSERT_TRUE(earlier.open(QIODevice::WriteOnly));
            earlier.write("the earlier chart");
        }
        {
            FileSizeLimit full(200); // every format is larger
            EXPECT_FALSE(SaveChartImage(InstallChart(), kSize, ChartFont(), ResolveChartImageFile(path.toStdString(), 1)))
                << name;
        }
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        EXPECT_EQ(file.readAll(), QByteArray("the earlier chart")) << name;
        file.close();
        // And written whole once the disk has room.
        Save(InstallChart(), name);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        EXPECT_GT(file.size(), 200) << name;
    }
    EXPECT_EQ(QDir(dir_.path()).entryList(QDir::Files | QDir::Hidden).size(), 5); // no temporary file left
}

TEST_F(ChartTest, LongSeriesAreDrawnFromASummaryOfBoundedSize)
{
    auto drawnVertices = [](const ChartModel& chart) {
        QBuffer buffer;
        QSvgGenerator svg;
        svg.setOutputDevice(&buffer);
        svg.setSize(kSize);
        svg.setResolution(MetafileDevice::kDotsPerInch);
        QPainter painter(&svg);
        painter.setFont(ChartFont());
        DrawChart(painter, chart, QRectF(QPointF(0, 0), QSizeF(kSize)));
        painter.end();
        return ReadSvg(QString::fromUtf8(buffer.data())).VerticesOf(ChartColours::kSteelBlue);
    };
    ChartModel chart = InstallChart(200000);
    ChartSeries& curve = chart.SeriesAt(0);
    EXPECT_TRUE(curve.Summarised());
    EXPECT_EQ(curve.Count(), 200000u);
    // One outlier stays visible however many points lie around it.
    curve.Add(180.01f, 545);
    const std::vector<QPointF> many = drawnVertices(chart);
    EXPECT_LE(many.size(), 4 * ChartSeries::kSlices);
    const QRectF plot = Plot(chart);
    const double top = std::min_element(many.begin(), many.end(), [](QPointF a, QPointF b) { return a.y() < b.y(); })->y();
    EXPECT_NEAR(top, plot.bottom() - (545.0 - 150) / 400 * plot.height(), 1.0);

    // Twice the points draw no more vertices.
    for (int i = 0; i < 200000; ++i)
        curve.Add(360.0f * static_cast<float>(i) / 200000, 350);
    EXPECT_LE(drawnVertices(chart).size(), many.size() + ChartSeries::kSlices);

    // A new axis range sorts the points into new slices; Clear gives back everything.
    chart.SetBottomRange(0, 180);
    EXPECT_LE(drawnVertices(chart).size(), 4 * ChartSeries::kSlices);
    chart.ClearSeries();
    EXPECT_EQ(curve.Count(), 0u);
    EXPECT_FALSE(curve.Summarised());
    static_assert(sizeof(ChartPoint) <= 16);
}

TEST_F(ChartTest, TicksFollowTheIncrementAndNeverCrowd)
{
    ChartAxis bottom;
    bottom.SetRange(0, 360);
    bottom.increment = 45;
    EXPECT_EQ(TicksOf(bottom, 400, 30).values, (std::vector<double>{0, 45, 90, 135, 180, 225, 270, 315, 360}));
    EXPECT_EQ(TicksOf(bottom, 100, 30).step, 180); // too narrow for every 45 degrees
    ChartAxis left;
    left.SetRange(-23.5, 541.2);
    const AxisTicks ticks = TicksOf(left, 200, 24);
    EXPECT_EQ(ticks.step, 100);
    EXPECT_EQ(ticks.values.front(), 0);
    EXPECT_EQ(ticks.values.back(), 500);
    EXPECT_EQ(AxisLabel(2.5, 0.5), "2.5");
    left.SetRange(5, 5); // no range: nothing to label, nothing to divide by
    EXPECT_TRUE(TicksOf(left, 200, 24).values.empty());
}
