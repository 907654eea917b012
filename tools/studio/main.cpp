// zirbelon-studio: the makers' live loop.
#include "tools/common/cli.h"
#include "tools/studio/studio_app.h"
#include "tools/studio/studio_options.h"

namespace {

int studio_main(int argc, char** argv) {
    StudioOptions options;
    const std::vector<std::string_view> args = cli_arguments(argc, argv);
    if (const auto done = studio_options_parse(args, options)) return *done;
    return studio_run(std::move(options));
}

}  // namespace

int main(int argc, char** argv) { return cli_stdout_finish("zirbelon-studio", studio_main(argc, argv)); }
