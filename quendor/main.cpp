// quendor: the HiPath 4000 collection service.
#include "hipath4_svc.h"

int main(int argc, char** argv) {
  ralvek::quendor::Hipath4Svc service;
  return service.run(argc, argv);
}
