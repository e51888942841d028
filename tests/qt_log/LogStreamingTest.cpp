// The log under a stream of lines, fed as the output loops feed it (append, then a pass of the
// event loop): every line is in the log at once, and once the lines stop the log paints its last
// state, scrolled to the end, whatever the pace of the lines was.

#include <gtest/gtest.h>

#include <QApplication>
#include <cstdlib>
#include <QDeadlineTimer>
#include <QPlainTextEdit>
#include <QPointer>
#include <QScrollBar>
#include <QTextBlock>
#include <QTest>
#include <memory>
#include <ostream>
#include <string>

#include "MainWindow.h"

namespace tovanel::testing {
namespace {

// Counts the paint events of one widget.
class PaintCounter : public QObject {
public:
    explicit PaintCounter(QWidget* widget) { widget->installEventFilter(this); }
    int paints = 0;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint) ++paints;
        return QObject::eventFilter(watched, event);
    }
};

std::string Line(int number) {
    std::string text = "gbak:    " + std::to_string(number) + " records written";
    text.resize(80, '.');
    return text;
}

// Lets the event loop run until the condition holds or two seconds have passed.
template <class Condition>
bool EventuallyTrue(Condition condition) {
    QDeadlineTimer deadline(2000);
    while (!condition() && !deadline.hasExpired()) QTest::qWait(5);
    return condition();
}

struct StreamCase {
    const char* name;
    int lines;
    bool passAfterEachLine;  // the output loop's pass; a job's closing lines come without one
    bool clearFirst;         // a new job clears the log of the previous one
};

void PrintTo(const StreamCase& c, std::ostream* out) {
    *out << c.name;
}

class LogStream : public ::testing::TestWithParam<StreamCase> {
protected:
    LogStream() {
        window = std::make_unique<TMainWindow>();
        window->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(window.get()));
        log = window->findChild<QPlainTextEdit*>(QStringLiteral("MemoProgresso"));
    }
    std::unique_ptr<TMainWindow> window;
    QPlainTextEdit* log = nullptr;
};

TEST_P(LogStream, EveryLineIsInTheLogAtOnceAndTheLastIsPaintedAtTheBottom) {
    const StreamCase& c = GetParam();
    for (int n = 0; n < 500; ++n) window->AppendLog("previous job " + std::to_string(n));
    QTest::qWait(50);
    if (c.clearFirst) window->ClearLog();
    const int before = log->document()->blockCount();

    PaintCounter counter(log->viewport());
    for (int n = 0; n < c.lines; ++n) {
        counter.paints = 0;
        window->AppendLog(Line(n));
        if (c.passAfterEachLine) window->ProcessPendingEvents();
    }

    const int expectedBlocks = c.clearFirst ? c.lines : before + c.lines;
    EXPECT_EQ(log->document()->blockCount(), expectedBlocks) << "no line may wait outside the log";
    EXPECT_EQ(log->document()->lastBlock().text().toStdString(), Line(c.lines - 1));
    ASSERT_TRUE(EventuallyTrue([&] { return counter.paints > 0; }))
        << "the log must paint after its last line even when no other line follows";
    QScrollBar* bar = log->verticalScrollBar();
    EXPECT_EQ(bar->value(), bar->maximum()) << "the log follows its end";
    const QRect area = log->viewport()->rect();
    const QTextBlock bottom = log->cursorForPosition(QPoint(4, area.bottom() - 4)).block();
    EXPECT_EQ(bottom.text().toStdString(), Line(c.lines - 1));
}

INSTANTIATE_TEST_SUITE_P(
    Streams, LogStream,
    ::testing::Values(StreamCase{"FastLinesWithAPassAfterEach", 400, true, false},
                      StreamCase{"OneLineWithAPass", 1, true, false},
                      StreamCase{"ClosingLinesWithoutAPass", 3, false, false},
                      StreamCase{"NewJobAfterAClear", 200, true, true}),
    [](const ::testing::TestParamInfo<StreamCase>& info) { return std::string(info.param.name); });

TEST(LogStreamEnd, WindowDestroyedWhileLinesWaitToBePaintedLeavesNothingBehind) {
    auto window = std::make_unique<TMainWindow>();
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    for (int n = 0; n < 50; ++n) {
        window->AppendLog(Line(n));
        window->ProcessPendingEvents();
    }
    QPointer<QPlainTextEdit> log = window->findChild<QPlainTextEdit*>(QStringLiteral("MemoProgresso"));
    window.reset();
    QTest::qWait(50);  // a frame end still pending would fire here, on a window that is gone
    EXPECT_TRUE(log.isNull());
}

}  // namespace
}  // namespace tovanel::testing

int main(int argc, char** argv) {
    // Also when ctest lists the tests, which runs this program without the test's environment.
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
