#include "RunRecordJson.h"

#include <stdexcept>

using nlohmann::json;

namespace {
void PutOptional(json& object, const char* key, const std::optional<double>& value)
{
    if (value)
        object[key] = *value;
}

json UnitToJson(const UnitIdentity& unit)
{
    return json{{"family", unit.family},
                {"part_number", unit.partNumber},
                {"biss_serial", unit.bissSerial},
                {"decoded_serial", unit.decodedSerial},
                {"extended_serial", unit.extendedSerial},
                {"firmware", unit.firmware}};
}

// Reading: every lookup throws std::runtime_error naming the field, caught once.
struct Reader {
    std::string path;

    const json& Field(const json& object, const char* key) const
    {
        if (!object.is_object())
            throw std::runtime_error(path + " is not an object");
        auto it = object.find(key);
        if (it == object.end())
            throw std::runtime_error(path + "." + key + " is missing");
        return *it;
    }
    std::string Text(const json& object, const char* key) const
    {
        const json& value = Field(object, key);
        if (!value.is_string())
            throw std::runtime_error(path + "." + key + " is not a string");
        return value.get<std::string>();
    }
    std::string OptionalText(const json& object, const char* key) const
    {
        return object.contains(key) ? Text(object, key) : std::string();
    }
    std::optional<double> OptionalNumber(const json& object, const char* key) const
    {
        if (!object.contains(key) || object[key].is_null())
            return std::nullopt;
        if (!object[key].is_number())
            throw std::runtime_error(path + "." + key + " is not a number");
        return object[key].get<double>();
    }
    Outcome OutcomeOf(const json& object) const
    {
        std::string text = Text(object, "outcome");
        auto outcome = OutcomeFromText(text);
        if (!outcome)
            throw std::runtime_error(path + ".outcome \"" + text + "\" is not an outcome");
        return *outcome;
    }
    const json& Array(const json& object, const char* key) const
    {
        static const json empty = json::array();
        if (!object.contains(key))
            return empty;
        const json& value = object[key];
        if (!value.is_array())
            throw std::runtime_error(path + "." + key + " is not an array");
        return value;
    }
};

Measurement MeasurementFromJson(const json& object, const std::string& path)
{
    Reader r{path};
    Measurement m;
    m.name = r.Text(object, "name");
    if (object.contains("value")) {
        const json& value = object["value"];
        if (value.is_number())
            m.number = value.get<double>();
        else if (value.is_string())
            m.text = value.get<std::string>();
        else if (!value.is_null())
            throw std::runtime_error(path + ".value is neither a number nor a string");
    }
    if (object.contains("text"))
        m.text = r.Text(object, "text");
    m.low = r.OptionalNumber(object, "low");
    m.high = r.OptionalNumber(object, "high");
    m.expected = r.OptionalText(object, "expected");
    m.unit = r.OptionalText(object, "unit");
    m.outcome = r.OutcomeOf(object);
    return m;
}

StepRecord StepFromJson(const json& object, const std::string& path)
{
    Reader r{path};
    StepRecord step;
    const json& index = r.Field(object, "index");
    if (!index.is_number_integer())
        throw std::runtime_error(path + ".index is not an integer");
    step.index = index.get<int>();
    step.kind = r.Text(object, "kind");
    step.name = r.Text(object, "name");
    step.outcome = r.OutcomeOf(object);
    step.message = r.OptionalText(object, "message");
    step.started = r.OptionalText(object, "started");
    step.ended = r.OptionalText(object, "ended");
    const json& measurements = r.Array(object, "measurements");
    for (size_t i = 0; i < measurements.size(); ++i)
        step.measurements.push_back(
            MeasurementFromJson(measurements[i], path + ".measurements[" + std::to_string(i) + "]"));
    const json& attachments = r.Array(object, "attachments");
    for (size_t i = 0; i < attachments.size(); ++i) {
        Reader a{path + ".attachments[" + std::to_string(i) + "]"};
        step.attachments.push_back({a.Text(attachments[i], "name"), a.Text(attachments[i], "media_type"),
                                    a.Text(attachments[i], "content")});
    }
    return step;
}
} // namespace

json ToJson(const Measurement& m)
{
    json object{{"name", m.name}};
    if (m.number) {
        object["value"] = *m.number;
        if (!m.text.empty())
            object["text"] = m.text;
    } else {
        object["value"] = m.text;
    }
    PutOptional(object, "low", m.low);
    PutOptional(object, "high", m.high);
    if (!m.expected.empty())
        object["expected"] = m.expected;
    if (!m.unit.empty())
        object["unit"] = m.unit;
    object["outcome"] = OutcomeText(m.outcome);
    return object;
}

json ToJson(const StepRecord& step)
{
    json measurements = json::array();
    for (const Measurement& m : step.measurements)
        measurements.push_back(ToJson(m));
    json attachments = json::array();
    for (const Attachment& a : step.attachments)
        attachments.push_back({{"name", a.name}, {"media_type", a.mediaType}, {"content", a.content}});
    return json{{"index", step.index},
                {"kind", step.kind},
                {"name", step.name},
                {"outcome", OutcomeText(step.outcome)},
                {"message", step.message},
                {"started", step.started},
                {"ended", step.ended},
                {"measurements", std::move(measurements)},
                {"attachments", std::move(attachments)}};
}

json ToJson(const RunRecord& run)
{
    json steps = json::array();
    for (const StepRecord& step : run.steps)
        steps.push_back(ToJson(step));
    return json{{"run_id", run.runId},
                {"plan", {{"name", run.planName}, {"revision", run.planRevision}, {"sha256", run.planSha256}}},
                {"station", run.station},
                {"operator", run.operatorName},
                {"label_serial", run.labelSerial},
                {"unit", UnitToJson(run.unit)},
                {"started", run.started},
                {"ended", run.ended},
                {"outcome", OutcomeText(run.outcome)},
                {"steps", std::move(steps)}};
}

std::optional<RunRecord> RunRecordFromJson(const json& object, std::string* error)
{
    try {
        Reader r{"record"};
        RunRecord run;
        run.runId = r.Text(object, "run_id");
        const json& plan = r.Field(object, "plan");
        Reader p{"record.plan"};
        run.planName = p.Text(plan, "name");
        run.planRevision = p.OptionalText(plan, "revision");
        run.planSha256 = p.OptionalText(plan, "sha256");
        run.station = r.OptionalText(object, "station");
        run.operatorName = r.OptionalText(object, "operator");
        run.labelSerial = r.OptionalText(object, "label_serial");
        if (object.contains("unit")) {
            const json& unit = object["unit"];
            Reader u{"record.unit"};
            run.unit.family = u.OptionalText(unit, "family");
            run.unit.partNumber = u.OptionalText(unit, "part_number");
            run.unit.bissSerial = u.OptionalText(unit, "biss_serial");
            run.unit.decodedSerial = u.OptionalText(unit, "decoded_serial");
            run.unit.extendedSerial = u.OptionalText(unit, "extended_serial");
            run.unit.firmware = u.OptionalText(unit, "firmware");
        }
        run.started = r.Text(object, "started");
        run.ended = r.OptionalText(object, "ended");
        run.outcome = r.OutcomeOf(object);
        const json& steps = r.Array(object, "steps");
        for (size_t i = 0; i < steps.size(); ++i)
            run.steps.push_back(StepFromJson(steps[i], "record.steps[" + std::to_string(i) + "]"));
        return run;
    } catch (const std::exception& e) {
        if (error)
            *error = e.what();
        return std::nullopt;
    }
}

std::string JsonLine(const json& object)
{
    return object.dump(-1, ' ', false, json::error_handler_t::replace);
}
