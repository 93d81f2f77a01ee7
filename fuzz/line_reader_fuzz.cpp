// Any bytes on standard input, read as a file or pipe: three lines never write past their
// buffers, never hold more than 255 bytes, and match a plain model of the line rules; what
// each means as a path, under either system's forms, stays inside its buffer too.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "dialogue/line_reader.h"
#include "line_editing/typed_path.h"

namespace {

struct ModelLine {
    bool anyByte;
    std::string text;  // empty for a refused line
};

// File or pipe input: input ends for good at the first 0x1A; CR LF reads as LF; a line over
// 255 bytes, or holding a zero byte, is refused whole; end of input ends a line that has bytes.
std::vector<ModelLine> Model(const std::string& input, std::size_t lines) {
    std::string data = input.substr(0, input.find('\x1A'));
    std::string plain;
    for (std::size_t i = 0; i < data.size(); ++i) {
        if (data[i] == '\r' && i + 1 < data.size() && data[i + 1] == '\n') continue;
        plain += data[i];
    }
    std::vector<ModelLine> model;
    std::size_t at = 0;
    while (model.size() < lines) {
        if (at >= plain.size()) {
            model.push_back({false, ""});
            continue;
        }
        const std::size_t end = plain.find('\n', at);
        std::string line = plain.substr(at, end == std::string::npos ? std::string::npos : end - at);
        at = end == std::string::npos ? plain.size() : end + 1;
        if (line.size() > PATH_BUFFER_SIZE - 1 || line.find('\0') != std::string::npos) line.clear();
        model.push_back({true, line});
    }
    return model;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    std::FILE* stream = fmemopen(const_cast<char*>(input.data()), input.size() ? input.size() : 1,
                                 "rb");
    if (stream == nullptr) return 0;
    if (input.empty()) std::fgetc(stream);  // fmemopen needs a byte; read past it
    LineInput lineInput{stream, false, false};
    const std::vector<ModelLine> model = Model(input, 3);
    for (const ModelLine& expected : model) {
        // An exact-size heap buffer: AddressSanitizer sees any byte written past it.
        char* path = static_cast<char*>(std::calloc(PATH_BUFFER_SIZE, 1));
        const bool anyByte = ReadLineFrom(lineInput, path);
        if (anyByte != expected.anyByte || std::strlen(path) > PATH_BUFFER_SIZE - 1 ||
            (anyByte && std::string(path) != expected.text)) {
            std::abort();
        }
        for (const TypedPathForms& forms :
             {TypedPathForms{false, nullptr, 932}, TypedPathForms{true, "/h", 1252}, TypedPathForms{true, "/h", 932}}) {
            char* typed = static_cast<char*>(std::malloc(PATH_BUFFER_SIZE));
            std::memcpy(typed, path, PATH_BUFFER_SIZE);
            InterpretTypedPath(typed, PATH_BUFFER_SIZE, forms);
            if (std::strlen(typed) > PATH_BUFFER_SIZE - 1) std::abort();
            std::free(typed);
        }
        std::free(path);
    }
    std::fclose(stream);
    return 0;
}
