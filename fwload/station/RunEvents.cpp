// The run events' JSON.
#include "RunEvents.h"

#include <type_traits>

namespace {

constexpr char kEvent[] = "event";
constexpr char kStage[] = "stage";
constexpr char kBar[] = "bar";
constexpr char kPosition[] = "position";
constexpr char kMaximum[] = "maximum";
constexpr char kOutcome[] = "outcome";
constexpr char kExitCode[] = "exit_code";
constexpr char kMessage[] = "message";
constexpr char kReason[] = "reason";
constexpr char kFirmwareWritten[] = "firmware_written";
constexpr char kStageEvent[] = "stage";
constexpr char kProgressEvent[] = "progress";
constexpr char kOutcomeEvent[] = "outcome";

constexpr DownloadStage kStages[] = {DownloadStage::None,     DownloadStage::ModeChange,    DownloadStage::Polling,
                                     DownloadStage::Data,     DownloadStage::WriteToMemory, DownloadStage::Checksum,
                                     DownloadStage::Complete, DownloadStage::DisplaySetUp,  DownloadStage::Failed};

const char* BarId(RunProgress::Bar bar) {
    switch (bar) {
        case RunProgress::Bar::Transfer: return "transfer";
        case RunProgress::Bar::WriteToMemory: return "write-to-memory";
        case RunProgress::Bar::Checksum: return "checksum";
        case RunProgress::Bar::Restart: return "restart";
    }
    return "transfer";
}

std::optional<RunProgress::Bar> BarOf(const std::string& id) {
    for (RunProgress::Bar bar : {RunProgress::Bar::Transfer, RunProgress::Bar::WriteToMemory,
                                 RunProgress::Bar::Checksum, RunProgress::Bar::Restart}) {
        if (id == BarId(bar)) return bar;
    }
    return std::nullopt;
}

// A field of the type asked for, or the default when it is missing or of another type.
template <typename T>
T Field(const nlohmann::json& object, const char* key, T otherwise) {
    const auto found = object.find(key);
    if (found == object.end()) return otherwise;
    if constexpr (std::is_same_v<T, std::string>) {
        return found->is_string() ? found->template get<std::string>() : otherwise;
    } else if constexpr (std::is_same_v<T, bool>) {
        return found->is_boolean() ? found->template get<bool>() : otherwise;
    } else {
        return found->is_number_integer() ? found->template get<T>() : otherwise;
    }
}

}  // namespace

nlohmann::json EncodeRunEvent(const RunEvent& event, const char* otherName) {
    const char* name = otherName;
    switch (event.kind) {
        case RunEvent::Kind::Stage: name = kStageEvent; break;
        case RunEvent::Kind::Progress: name = kProgressEvent; break;
        case RunEvent::Kind::Outcome: name = kOutcomeEvent; break;
        case RunEvent::Kind::Other: break;
    }
    nlohmann::json object{{kEvent, name}, {kStage, DownloadStageId(event.stage)}};
    if (event.kind == RunEvent::Kind::Progress) {
        object[kBar] = BarId(event.progress.bar);
        object[kPosition] = event.progress.position;
        object[kMaximum] = event.progress.maximum;
    } else if (event.kind == RunEvent::Kind::Outcome) {
        object[kOutcome] = event.outcome.outcome;
        object[kExitCode] = event.outcome.exitCode;
        object[kMessage] = event.outcome.message;
        object[kFirmwareWritten] = event.outcome.firmwareWritten;
        if (!event.outcome.reason.empty()) object[kReason] = event.outcome.reason;
    }
    return object;
}

std::optional<RunEvent> DecodeRunEvent(const nlohmann::json& object) {
    if (!object.is_object()) return std::nullopt;
    const std::string name = Field<std::string>(object, kEvent, "");
    if (name.empty()) return std::nullopt;
    RunEvent event;
    const std::string stage = Field<std::string>(object, kStage, "");
    for (DownloadStage known : kStages) {
        if (stage == DownloadStageId(known)) event.stage = known;
    }
    if (name == kStageEvent) {
        event.kind = RunEvent::Kind::Stage;
    } else if (name == kProgressEvent) {
        const std::optional<RunProgress::Bar> bar = BarOf(Field<std::string>(object, kBar, ""));
        if (!bar) return std::nullopt;
        event.kind = RunEvent::Kind::Progress;
        event.progress = {*bar, Field<long long>(object, kPosition, 0), Field<long long>(object, kMaximum, 0)};
    } else if (name == kOutcomeEvent) {
        if (!object.contains(kOutcome) || !object.contains(kExitCode)) return std::nullopt;
        event.kind = RunEvent::Kind::Outcome;
        event.outcome.outcome = Field<std::string>(object, kOutcome, "");
        event.outcome.exitCode = Field<int>(object, kExitCode, 1);
        event.outcome.message = Field<std::string>(object, kMessage, "");
        event.outcome.reason = Field<std::string>(object, kReason, "");
        event.outcome.firmwareWritten = Field<bool>(object, kFirmwareWritten, false);
    }
    return event;
}

std::optional<RunEvent> DecodeRunEvent(const std::string& line) {
    return DecodeRunEvent(nlohmann::json::parse(line, nullptr, false));
}
