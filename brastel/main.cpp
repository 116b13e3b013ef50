#include "file_service.h"

int main(int argc, char** argv) {
  ralvek::brastel::frmService service;
  return service.run(argc, argv);
}
