// A small drag source for the journeys, as a file manager offers files: a window at a
// given place; a drag that starts in it carries the given files as text/uri-list and
// allows a copy or a move. What the drop target answered is written to the result file
// ("move", "copy", "link" or "ignore") once the drag ends.
//
// Usage: journey_drag_source X Y RESULT-FILE FILE...
#include <cstdio>
#include <cstdlib>

#include <QApplication>
#include <QDrag>
#include <QFile>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QUrl>
#include <QWidget>

namespace {

class Source : public QWidget {
public:
    Source(QString result, QList<QUrl> files) : result_(std::move(result)), files_(std::move(files)) {
        setWindowTitle(QStringLiteral("Drag source"));
        resize(160, 120);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.fillRect(rect(), QColor(0x30, 0x90, 0xd0));
    }
    void mousePressEvent(QMouseEvent* event) override { pressed_ = event->position().toPoint(); }
    void mouseMoveEvent(QMouseEvent* event) override {
        if (!(event->buttons() & Qt::LeftButton) || dragging_) return;
        if ((event->position().toPoint() - pressed_).manhattanLength() < QApplication::startDragDistance()) return;
        dragging_ = true;
        auto* data = new QMimeData;
        data->setUrls(files_);
        auto* drag = new QDrag(this);
        drag->setMimeData(data);
        const Qt::DropAction done = drag->exec(Qt::CopyAction | Qt::MoveAction, Qt::MoveAction);
        const char* word = done == Qt::MoveAction   ? "move"
                           : done == Qt::CopyAction ? "copy"
                           : done == Qt::LinkAction ? "link"
                                                    : "ignore";
        QFile out(result_);
        if (out.open(QIODevice::WriteOnly | QIODevice::Truncate)) out.write(word);
        dragging_ = false;
    }

private:
    QString result_;
    QList<QUrl> files_;
    QPoint pressed_;
    bool dragging_ = false;
};

}  // namespace

int main(int argc, char** argv) {
    if (argc < 5) {
        std::fprintf(stderr, "usage: %s X Y RESULT-FILE FILE...\n", argv[0]);
        return 2;
    }
    // A window on the X display whatever the test programs' own platform is.
    qputenv("QT_QPA_PLATFORM", "xcb");
    QApplication app(argc, argv);
    QList<QUrl> files;
    for (int i = 4; i < argc; ++i) files.push_back(QUrl::fromLocalFile(QString::fromLocal8Bit(argv[i])));
    Source source(QString::fromLocal8Bit(argv[3]), files);
    source.move(std::atoi(argv[1]), std::atoi(argv[2]));
    source.show();
    return app.exec();
}
