// The PDF area picker opening a 100-page document and showing its first page: loading the
// document, laying out every page, and painting the window once (goal: under 1 s).
#include <poppler-qt6.h>

#include <benchmark/benchmark.h>
#include <QApplication>
#include <QFont>
#include <QPainter>
#include <QPdfWriter>
#include <QTemporaryDir>
#include <cstdlib>
#include <memory>

#include "companions/evermark/pages_view.h"

namespace {

// A document like a long contract: text and lines on every page.
QString MakeDocument(const QTemporaryDir& folder, int pages) {
    const QString path = folder.filePath("long.pdf");
    QPdfWriter writer(path);
    writer.setPageSize(QPageSize(QPageSize::A4));
    QPainter painter(&writer);
    QFont font("DejaVu Sans", 10);
    painter.setFont(font);
    for (int page = 0; page < pages; ++page) {
        if (page > 0) {
            writer.newPage();
        }
        for (int line = 0; line < 60; ++line) {
            painter.drawText(600, 600 + line * 200,
                             QString("Page %1, article %2: the parties agree on what follows.")
                                 .arg(page + 1)
                                 .arg(line + 1));
        }
        painter.drawRect(400, 400, 9000, 13000);
    }
    return path;
}

void BM_OpenAndShowFirstPage(benchmark::State& state) {
    const QTemporaryDir folder;
    const QString path = MakeDocument(folder, int(state.range(0)));
    for (auto _ : state) {
        const std::unique_ptr<Poppler::Document> document = Poppler::Document::load(path);
        document->setRenderHint(Poppler::Document::Antialiasing);
        document->setRenderHint(Poppler::Document::TextAntialiasing);
        quillbox::companions::PagesView view(*document);
        view.resize(760, 820);
        view.ZoomToFit();
        benchmark::DoNotOptimize(view.grab());
    }
}
BENCHMARK(BM_OpenAndShowFirstPage)->Arg(100)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
