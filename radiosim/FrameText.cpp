#include "radiosim/FrameText.h"

#include <cstdio>

#include "map27/link/FrameCodec.h"

namespace radiosim {

FrameView ViewFrame(std::span<const std::uint8_t> line) {
    FrameView view;
    const Bytes frame = map27::DestuffFrame(line);
    const std::size_t n = frame.size();
    if (n < map27::kFrameOverhead || frame[0] != map27::kSyn || frame[1] != map27::kDle ||
        frame[2] != map27::kStx || frame[n - 4] != map27::kDle || frame[n - 3] != map27::kEtx)
        return view;
    view.wellFormed = true;
    view.type = frame[3];
    view.fields = {frame[4], frame[5], frame[6]};
    const auto message = map27::FrameMessage(frame);
    view.message.assign(message.begin(), message.end());
    view.fcsGood = map27::HasGoodFcs(frame);
    return view;
}

std::string DescribeLinkHeader(const FrameView& view) {
    if (!view.wellFormed) return "damaged frame";
    char text[96];
    const unsigned a = view.fields[0], b = view.fields[1], c = view.fields[2];
    switch (view.type) {
        case 1:
            std::snprintf(text, sizeof text, "LR N1:%u K:%u Version:%u", a, b, c);
            break;
        case 2:
            std::snprintf(text, sizeof text, "LA N(R):%u N(k):%u", a, b);
            break;
        case 4:
            std::snprintf(text, sizeof text, "LT N(S):%u AR:%u", a, b);
            break;
        default:
            std::snprintf(text, sizeof text, "type %s %s %s %s", text::HexByte(view.type).c_str(),
                          text::HexByte(view.fields[0]).c_str(),
                          text::HexByte(view.fields[1]).c_str(),
                          text::HexByte(view.fields[2]).c_str());
            break;
    }
    return std::string(text) + (view.fcsGood ? " FCS good" : " FCS BAD");
}

Bytes MakeLineFrame(const std::array<std::uint8_t, 4>& header,
                    std::span<const std::uint8_t> message) {
    return map27::MakeDataFrame(header, message);
}

std::optional<Bytes> WithSequenceNumber(std::span<const std::uint8_t> line, std::uint8_t ns) {
    const FrameView view = ViewFrame(line);
    if (!view.wellFormed || view.type != 4) return std::nullopt;
    return MakeLineFrame({view.type, ns, view.fields[1], view.fields[2]}, view.message);
}

}  // namespace radiosim
