// The baseline of the start-up benchmark: a bare Qt Widgets window of 800x600 that only
// paints black, reporting when its first frame was painted as the player does (wall clock,
// ns, on stderr).
#include <QApplication>
#include <QPainter>
#include <QWidget>

#include <cstdio>
#include <ctime>

namespace {
class TBlack : public QWidget {
 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter(this).fillRect(rect(), Qt::black);
    if (FReported) return;
    FReported = true;
    timespec now;
    clock_gettime(CLOCK_REALTIME, &now);
    std::fprintf(stderr, "first frame at %lld\n", (long long)now.tv_sec * 1000000000LL + now.tv_nsec);
  }

 private:
  bool FReported = false;
};
}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  TBlack window;
  window.setFixedSize(800, 600);
  window.show();
  return app.exec();
}
