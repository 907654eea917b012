// --shader SCENE=FILE.
#include "tools/common/shader_files.h"
#include "tracks/track_text.h"

CliTake cli_take_shader(ShaderFiles& files) {
    return [&files](std::string_view text, std::string& error) {
        const size_t equals = text.find('=');
        const std::string_view scene = text.substr(0, equals);
        const std::string_view file = equals == std::string_view::npos ? "" : text.substr(equals + 1);
        if (file.empty() || (scene != "landscape" && scene != "title")) {
            error = "needs landscape=FILE or title=FILE, not " + text_quote(text);
            return false;
        }
        (scene == "landscape" ? files.landscape : files.title) = std::string(file);
        return true;
    };
}
