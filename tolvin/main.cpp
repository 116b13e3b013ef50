#include "ip_service.h"

int main(int argc, char** argv) {
  ralvek::tolvin::frmIPService service;
  return service.run(argc, argv);
}
