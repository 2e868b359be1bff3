#include "dialogs/vetrule_app.h"

int main(int argc, char** argv) {
  CvetruleApp app(argc, argv);
  return app.run();
}
