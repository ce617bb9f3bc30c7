// Build-time helper for the installed desktop files: renders the application icon at the sizes
// of the hicolor theme and turns the README's user sections into the Help Contents page.
//   make_assets icon <svg> <size> <png>
//   make_assets help <README.md> <html>

#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QStringList>
#include <QSvgRenderer>
#include <QTextDocument>

#include <cstdio>
#include <cstdlib>

namespace {

// Sections of the README for those who build the program, not for those who use it.
const QStringList kDeveloperSections = {QStringLiteral("The two commands"),
                                        QStringLiteral("Layout")};

int renderIcon(const QString& svg, int size, const QString& png) {
    QSvgRenderer renderer(svg);
    if (!renderer.isValid() || size <= 0) {
        std::fprintf(stderr, "make_assets: cannot render %s\n", qPrintable(svg));
        return 1;
    }
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    renderer.render(&painter);
    painter.end();
    if (!image.save(png, "PNG")) {
        std::fprintf(stderr, "make_assets: cannot write %s\n", qPrintable(png));
        return 1;
    }
    return 0;
}

// The README without its developer sections (a "## " heading up to the next one).
QString userSections(const QString& markdown) {
    QStringList kept;
    bool skipping = false;
    for (const QString& line : markdown.split(u'\n')) {
        if (line.startsWith(QStringLiteral("## "))) {
            skipping = kDeveloperSections.contains(line.mid(3).trimmed());
        }
        if (!skipping) {
            kept << line;
        }
    }
    return kept.join(u'\n');
}

int writeHelp(const QString& readme, const QString& html) {
    QFile in(readme);
    if (!in.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "make_assets: cannot read %s\n", qPrintable(readme));
        return 1;
    }
    QTextDocument document;
    // "<path>" and the like are placeholders in the README, not HTML.
    document.setMarkdown(userSections(QString::fromUtf8(in.readAll())),
                         QTextDocument::MarkdownFeatures(QTextDocument::MarkdownDialectGitHub |
                                                         QTextDocument::MarkdownNoHTML));
    document.setMetaInformation(QTextDocument::DocumentTitle,
                                QStringLiteral("Sonaro Sound Recorder Help"));
    QFile out(html);
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        out.write(document.toHtml().toUtf8()) < 0 || !out.flush()) {
        std::fprintf(stderr, "make_assets: cannot write %s\n", qPrintable(html));
        return 1;
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication application(argc, argv);
    const QStringList args = QGuiApplication::arguments();
    if (args.size() == 5 && args[1] == QStringLiteral("icon")) {
        return renderIcon(args[2], args[3].toInt(), args[4]);
    }
    if (args.size() == 4 && args[1] == QStringLiteral("help")) {
        return writeHelp(args[2], args[3]);
    }
    std::fputs("usage: make_assets icon <svg> <size> <png> | help <README.md> <html>\n", stderr);
    return 2;
}
