// The baseline of the start-up benchmark: a bare Qt Widgets window of 800x600 that only
// paints black, reporting when its first frame was painted as the player does (wall clock,
// ns, on stderr), and the steps of its start the player shares, in the player's words.
#include <QApplication>
#include <QPainter>
#include <QWidget>

#include <cstdio>
#include <ctime>

namespace {
void Mark(const char* step) {
  timespec now;
  clock_gettime(CLOCK_REALTIME, &now);
  std::fprintf(stderr, "startup %s at %lld\n", step, (long long)now.tv_sec * 1000000000LL + now.tv_nsec);
}

class TBlack : public QWidget {
 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter(this).fillRect(rect(), Qt::black);
    if (FReported) return;
    FReported = true;
    Mark("first-draw");
    timespec now;
    clock_gettime(CLOCK_REALTIME, &now);
    std::fprintf(stderr, "first frame at %lld\n", (long long)now.tv_sec * 1000000000LL + now.tv_nsec);
  }

 private:
  bool FReported = false;
};
}  // namespace

int main(int argc, char** argv) {
  Mark("main");
  QApplication app(argc, argv);
  Mark("qapplication");
  TBlack window;
  window.setFixedSize(800, 600);
  window.show();
  Mark("window-shown");
  return app.exec();
}
