#include "tools/FilterCore.h"

#include <cstdlib>

namespace filter {

std::string usageText() {
    return "Usage: vistrel-filter [--colour simulate|low|high|severe] [--squint POSITION | --smooth ZOOM]\n"
           "                      [--probe] INPUT [OUTPUT]\n"
           "\n"
           "Shows an image as the lens shows it, and writes the result to OUTPUT as PNG.\n"
           "\n"
           "  --colour MODE     simulate: as a red-green colour-blind viewer sees it;\n"
           "                    low, high, severe: the lens's three correction levels\n"
           "  --squint POSITION squint compensation, 0..30 (15 leaves the image as it is)\n"
           "  --smooth ZOOM     smooth enlargement by 2, 4, 6, 8 or 12; the result is\n"
           "                    ZOOM*(W-1)+1 by ZOOM*(H-1)+1 pixels\n"
           "  --probe           print the colour name and R, G, B of the centre pixel;\n"
           "                    OUTPUT may then be left out\n"
           "  --help            print this text\n"
           "\n"
           "Exit status: 0 on success, 2 for a usage error, 1 for any other error.\n";
}

namespace {

bool parseInt(const std::string& text, int& value) {
    if (text.empty() || text.size() > 9)
        return false;
    std::size_t start = (text[0] == '-' || text[0] == '+') ? 1 : 0;
    if (start == text.size())
        return false;
    for (std::size_t i = start; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9')
            return false;
    }
    value = std::atoi(text.c_str());
    return true;
}

ParsedArguments failure(std::string message) {
    ParsedArguments p;
    p.error = std::move(message);
    return p;
}

} // namespace

ParsedArguments parseArguments(const std::vector<std::string>& args) {
    ParsedArguments result;
    FilterOptions& o = result.options;
    std::vector<std::string> operands;
    bool optionsEnded = false;

    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
            operands.push_back(arg);
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
            continue;
        }
        std::string name = arg;
        std::string value;
        bool hasValue = false;
        const std::size_t eq = arg.find('=');
        if (eq != std::string::npos) {
            name = arg.substr(0, eq);
            value = arg.substr(eq + 1);
            hasValue = true;
        }

        if (name == "--help" || name == "--probe") {
            if (hasValue)
                return failure("option " + name + " takes no value");
            (name == "--help" ? o.help : o.probe) = true;
            continue;
        }
        if (name != "--colour" && name != "--squint" && name != "--smooth")
            return failure("unknown option '" + name + "'");
        if (!hasValue) {
            if (i + 1 >= args.size())
                return failure("option " + name + " needs a value");
            value = args[++i];
        }

        if (name == "--colour") {
            if (value == "simulate")
                o.colour = ColourMode::Simulate;
            else if (value == "low")
                o.colour = ColourMode::Low;
            else if (value == "high")
                o.colour = ColourMode::High;
            else if (value == "severe")
                o.colour = ColourMode::Severe;
            else
                return failure("unknown colour mode '" + value + "' (simulate, low, high or severe)");
        } else if (name == "--squint") {
            int position = 0;
            if (!parseInt(value, position) || position < 0 || position > 30)
                return failure("squint position '" + value + "' is not a whole number from 0 to 30");
            o.squintPosition = position;
        } else {
            int zoom = 0;
            if (!parseInt(value, zoom) || !(zoom == 2 || zoom == 4 || zoom == 6 || zoom == 8 || zoom == 12))
                return failure("smooth zoom '" + value + "' is not one of 2, 4, 6, 8 or 12");
            o.smoothZoom = zoom;
        }
    }
    if (o.help) {
        result.ok = true;
        return result;
    }
    if (o.smoothZoom != 0 && o.squintPosition != 15)
        return failure(
            "--squint and --smooth cannot be combined: the lens never rotates and smooths at once");
    if (operands.empty())
        return failure("no INPUT given");
    if (operands.size() > 2)
        return failure("too many operands: '" + operands[2] + "'");
    o.input = operands[0];
    if (operands.size() == 2)
        o.output = operands[1];
    else if (!o.probe)
        return failure("no OUTPUT given (it may be left out only with --probe)");
    result.ok = true;
    return result;
}

} // namespace filter
