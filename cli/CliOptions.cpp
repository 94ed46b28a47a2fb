// Option parsing for the commands of velkaron-pack.
#include "cli/CliOptions.h"

#include "cli/CliText.h"
#include "platform/NameEncoding.h"

namespace {

struct OptionName {
    const char* name;
    CliOption option;
    bool takesValue;
};

const OptionName kOptions[] = {
    {"--sorted", kOptSorted, false},        {"--name-encoding", kOptEncoding, true},
    {"--work-dir", kOptWorkDir, true},      {"--buffer-size", kOptBufferSize, true},
    {"-q", kOptQuiet, false},               {"--quiet", kOptQuiet, false},
    {"--raw", kOptRaw, false},              {"--force", kOptForce, false},
    {"--two-pass", kOptTwoPass, false},     {"--sync", kOptSync, false},
    {"--jobs", kOptJobs, true},
};

// Bytes, or with a K or M suffix KiB or MiB; 1 up to kCliBufferSizeMax.
bool ParseSize(const std::string& text, std::size_t& size) {
    std::size_t digits = 0;
    unsigned long long value = 0;
    while (digits < text.size() && text[digits] >= '0' && text[digits] <= '9' && digits < 12) {
        value = value * 10 + static_cast<unsigned>(text[digits] - '0');
        ++digits;
    }
    if (digits == 0) return false;
    std::string unit = text.substr(digits);
    if (unit == "K" || unit == "k") {
        value *= 1024;
    } else if (unit == "M" || unit == "m") {
        value *= 1024 * 1024;
    } else if (!unit.empty()) {
        return false;
    }
    if (value < 1 || value > kCliBufferSizeMax) return false;
    size = static_cast<std::size_t>(value);
    return true;
}

bool Apply(CliOption option, const std::string& name, const std::string& value, CliOptions& options,
           std::string& error) {
    switch (option) {
        case kOptSorted: options.sorted = true; return true;
        case kOptQuiet: options.quiet = true; return true;
        case kOptRaw: options.raw = true; return true;
        case kOptForce: options.force = true; return true;
        case kOptTwoPass: options.twoPass = true; return true;
        case kOptSync: options.sync = true; return true;
        case kOptJobs: {
            const bool digits = !value.empty() && value.size() <= 2 &&
                                value.find_first_not_of("0123456789") == std::string::npos;
            options.jobs = digits ? std::stoi(value) : 0;
            if (options.jobs < 1 || options.jobs > kCliJobsMax) {
                return error = name + " 应为 1 到 " + std::to_string(kCliJobsMax) + " 之间的线程数: " + value, false;
            }
            return true;
        }
        case kOptWorkDir:
            if (value.empty()) return error = name + " 需要一个文件夹", false;
            options.workDir = value;
            return true;
        case kOptBufferSize:
            if (!ParseSize(value, options.bufferSize)) {
                return error = name + " 应为 1 到 256M 之间的字节数 (可加 K 或 M): " + value, false;
            }
            return true;
        case kOptEncoding:
            if (value == "raw") {
                options.gbk = false;
            } else if (value == "gbk") {
                if (!NameConversionAvailable()) {
                    return error = name + " gbk 在 Windows 上不可用: 名称本来就是系统的 ANSI 代码页", false;
                }
                options.gbk = true;
            } else {
                return error = name + " 只能是 raw 或 gbk: " + value, false;
            }
            return true;
    }
    return false;
}

}  // namespace

bool ParseCliOptions(const std::vector<std::string>& args, const char* command, unsigned allowed,
                     CliOptions& options, std::string& error) {
    bool optionsEnded = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
            options.operands.push_back(arg);
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
            continue;
        }
        if (arg == "-h" || arg == "--help") {
            options.help = true;
            continue;
        }
        std::string name = arg;
        std::string value;
        bool inlineValue = false;
        std::size_t equals = arg.find('=');
        if (arg.compare(0, 2, "--") == 0 && equals != std::string::npos) {
            name = arg.substr(0, equals);
            value = arg.substr(equals + 1);
            inlineValue = true;
        }
        const OptionName* found = nullptr;
        for (const OptionName& o : kOptions) {
            if (name == o.name) found = &o;
        }
        if (found == nullptr) return error = "未知选项: " + arg, false;
        if (!(allowed & found->option)) return error = "选项 " + name + " 不适用于 " + command, false;
        if (found->takesValue && !inlineValue) {
            if (i + 1 == args.size()) return error = "选项 " + name + " 需要一个值", false;
            value = args[++i];
        } else if (!found->takesValue && inlineValue) {
            return error = "选项 " + name + " 不带值", false;
        }
        if (!Apply(found->option, name, value, options, error)) return false;
    }
    return true;
}

bool OpenEncoder(CNameEncoder& encoder, NameDirection direction, const CliOptions& options) {
    if (!options.gbk || encoder.Open(direction)) return true;
    Err("本系统无法在本地编码与 GBK 之间转换名称。\n");
    return false;
}
