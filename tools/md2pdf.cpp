// md2pdf: renders a Markdown file into a PDF, at build time, for the help
// document that ships beside the program.
//
//   md2pdf INPUT.md OUTPUT.pdf [TITLE]

#include <QFile>
#include <QFileInfo>
#include <QFont>
#include <QGuiApplication>
#include <QPageLayout>
#include <QPageSize>
#include <QPdfWriter>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextFrame>
#include <QTextTable>
#include <cstdio>

namespace {

// The Markdown importer gives code only a fixed-pitch hint and tables no
// padding; both read poorly on paper without these touches.
void Polish(QTextDocument &document) {
    QTextCharFormat code;
    code.setFontFamilies({QStringLiteral("Liberation Mono"), QStringLiteral("monospace")});
    code.setFontPointSize(9);
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            if (!fragment.charFormat().fontFixedPitch()) continue;
            QTextCursor cursor(&document);
            cursor.setPosition(fragment.position());
            cursor.setPosition(fragment.position() + fragment.length(), QTextCursor::KeepAnchor);
            cursor.mergeCharFormat(code);
        }
    }
    for (QTextFrame *frame : document.rootFrame()->childFrames()) {
        auto *table = qobject_cast<QTextTable *>(frame);
        if (table == nullptr) continue;
        QTextTableFormat format = table->format();
        format.setCellPadding(4);
        format.setCellSpacing(0);
        format.setBorderCollapse(true);
        format.setBorderStyle(QTextFrameFormat::BorderStyle_Solid);
        format.setWidth(QTextLength(QTextLength::PercentageLength, 100));
        table->setFormat(format);
    }
}

}  // namespace

int main(int argc, char **argv) {
    // A build has no display; text layout needs only fonts.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() < 3) {
        std::fputs("usage: md2pdf INPUT.md OUTPUT.pdf [TITLE]\n", stderr);
        return 2;
    }

    QFile input(args[1]);
    if (!input.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "md2pdf: cannot read %s\n", qPrintable(args[1]));
        return 1;
    }
    QTextDocument document;
    QFont font(QStringLiteral("Liberation Sans"));
    font.setPointSizeF(10.5);
    document.setDefaultFont(font);
    document.setMarkdown(QString::fromUtf8(input.readAll()));
    Polish(document);

    QPdfWriter writer(args[2]);
    writer.setTitle(args.size() > 3 ? args[3] : QFileInfo(args[1]).completeBaseName());
    writer.setCreator(QStringLiteral("md2pdf"));
    writer.setResolution(300);
    writer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait,
                                     QMarginsF(18, 18, 18, 18), QPageLayout::Millimeter));
    // print() paginates a copy of the document and numbers the pages.
    document.print(&writer);
    return QFile::exists(args[2]) ? 0 : 1;
}
