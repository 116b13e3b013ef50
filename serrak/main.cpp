// serrak: the serial collection service ("RalvekCOMService").
#include "com_service.h"
#include "com_settings.h"
#include "frame/service.h"
#include "platform/clock.h"

namespace ralvek::serrak {
namespace {

frame::ServiceProfile com_profile() {
  frame::ServiceProfile p;
  p.program = "serrak";
  p.service_name = "RalvekCOMService";
  p.display_name = "Ralvek COM Service";
  p.window_title = "Ralvek COM Service";
  p.info_label = p.window_title + " running in interactive mode. Use this mode only for debug purpose.";
  p.instance_check = frame::ServiceProfile::InstanceCheck::kServiceModeOnly;
  p.already_running_text = "Ralvek COM Service already running";
  p.label_before_start = false;
  p.resident_after_failed_start = true;
  p.remove_checks_running = false;
  p.load_error_procedure = "";
  p.log_unload_reasons = false;
  p.error_handler_sets_label = false;
  return p;
}

// The program: the frame around the service object.
class ComServiceProgram final : public frame::Service, private ComHost {
 public:
  ComServiceProgram()
      : Service(com_profile()),
        service_(io(), *this,
                 ComServiceParts{program_dir(), &platform::posix_file_system(),
                                 platform::make_serial_port(io()), make_vbscript_user_script,
                                 platform::time_stamp_now}) {}

  void LogEvent(int evtType, std::int32_t evtID, const std::vector<std::string>& Messages) override {
    Service::LogEvent(evtType, evtID, Messages);
  }
  void ErrorHandler(const std::string& strMsg, const std::string& strProcedure) override {
    Service::ErrorHandler(strMsg, strProcedure);
  }

 protected:
  void oSVC_Start(bool& success) override { service_.oSVC_Start(success); }
  void StopRequest() override {
    service_.StopRequest();
    unload_from_code();
  }
  void Unload(bool finish_files) override { service_.Unload(finish_files); }
  int CheckSettings(std::ostream& out) override { return check_settings(program_dir(), out); }

 private:
  // A failed stop: systemd restarts the service, which resumes once files can be made again.
  void request_service_stop() override { stop_service(1); }
  bool owns_data_files() const override { return sole_instance(); }
  void set_status(const std::string& status) override { Service::set_status(status); }

  COMService service_;
};

}  // namespace
}  // namespace ralvek::serrak

int main(int argc, char** argv) {
  ralvek::serrak::ComServiceProgram program;
  return program.run(argc, argv);
}
