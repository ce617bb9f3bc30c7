#include "app/process_options.h"

namespace sonaro {

ProcessOption ParseProcessOption(const std::vector<std::string>& args) {
    ProcessOption option;
    if (args.size() < 2 || args[1].empty() || args[1][0] != '-') {
        return option;
    }
    const std::string& name = args[1];
    const std::size_t further = args.size() - 2;
    if (name == "-exe" && further >= 1) {
        option.kind = ProcessOptionKind::RunTool;
    } else if (name == "-setautorun" && further >= 1) {
        option.kind = ProcessOptionKind::SetAutorun;
        const std::string& code = args[2];
        if (code.size() >= 2 && code[1] == '1') {
            option.autorun = AutorunChange::Enable;
        } else if (code.size() >= 2 && code[1] == '0') {
            option.autorun = AutorunChange::Disable;
        }
    } else if (name == "-extfind" ||
               ((name == "-addfiletyperunspecial" || name == "-addremfiletyperunspecial" ||
                 name == "-remfiletyperunspecial") &&
                further >= 2 && further <= 4)) {
        option.kind = ProcessOptionKind::Installer;
    }
    return option;
}

}  // namespace sonaro
