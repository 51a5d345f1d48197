#include "production/Plan.h"

#include "production/StepKinds.h"
#include "util/Sha256.h"

#include <toml.hpp>

#include <fstream>
#include <sstream>
#include <sys/stat.h>

namespace {

using Value = toml::basic_value<toml::discard_comments, std::map, std::vector>;

const char* TypeWanted(ParamType type)
{
    switch (type) {
    case ParamType::Integer:
        return "a whole number";
    case ParamType::Number:
        return "a number";
    case ParamType::Text:
        return "a text";
    case ParamType::Range:
        return "a pair [low, high]";
    case ParamType::TextOrList:
        return "a text or a list of texts";
    case ParamType::RegisterValues:
        return "a table of fields and whole numbers, e.g. { \"0.18\" = 45 }";
    }
    return "a value";
}

const char* TypeFound(const Value& v)
{
    switch (v.type()) {
    case toml::value_t::boolean:
        return "true/false";
    case toml::value_t::integer:
        return "a whole number";
    case toml::value_t::floating:
        return "a number with a fraction";
    case toml::value_t::string:
        return "a text";
    case toml::value_t::array:
        return "a list";
    case toml::value_t::table:
        return "a table";
    default:
        return "a date or time";
    }
}

int LineOf(const Value& v)
{
    return static_cast<int>(v.location().line());
}

bool IsNumber(const Value& v)
{
    return v.is_integer() || v.is_floating();
}

double NumberOf(const Value& v)
{
    return v.is_integer() ? static_cast<double>(v.as_integer()) : v.as_floating();
}

class Parser {
public:
    explicit Parser(std::string file) : file_(std::move(file)) {}

    void Error(int line, const std::string& key, const std::string& message)
    {
        errors_.push_back({file_, line, key, message});
    }

    // Reads one parameter by its type; false after an error.
    bool Read(const std::string& key, const Value& v, ParamType type, ParamValue& out)
    {
        out.type = type;
        out.line = LineOf(v);
        const std::string wrong = std::string("wants ") + TypeWanted(type) + ", not " + TypeFound(v);
        switch (type) {
        case ParamType::Integer:
        case ParamType::Number:
            if (type == ParamType::Integer ? !v.is_integer() : !IsNumber(v))
                return Error(out.line, key, wrong), false;
            out.number = NumberOf(v);
            // Counts, times, limits and sizes: none is below zero.
            if (out.number < 0)
                return Error(out.line, key, "wants 0 or more"), false;
            return true;
        case ParamType::Text:
            if (!v.is_string())
                return Error(out.line, key, wrong), false;
            out.text = v.as_string().str;
            return true;
        case ParamType::Range: {
            if (!v.is_array() || v.as_array().size() != 2 || !IsNumber(v.as_array()[0]) || !IsNumber(v.as_array()[1]))
                return Error(out.line, key, std::string("wants a pair [low, high] of numbers")), false;
            out.low = NumberOf(v.as_array()[0]);
            out.high = NumberOf(v.as_array()[1]);
            if (out.low > out.high)
                return Error(out.line, key, "the low limit lies above the high one; write [low, high]"), false;
            return true;
        }
        case ParamType::TextOrList:
            if (v.is_string()) {
                out.text = v.as_string().str;
                return true;
            }
            if (!v.is_array())
                return Error(out.line, key, wrong), false;
            for (const Value& item : v.as_array()) {
                if (!item.is_string())
                    return Error(LineOf(item), key, std::string("wants texts in the list, not ") + TypeFound(item)), false;
                out.list.push_back(item.as_string().str);
            }
            return true;
        case ParamType::RegisterValues: {
            if (!v.is_table())
                return Error(out.line, key, wrong), false;
            for (const auto& [field, value] : v.as_table()) {
                if (!value.is_integer())
                    return Error(LineOf(value), key + "." + field,
                                 std::string("wants a whole number, not ") + TypeFound(value)),
                           false;
                out.registers.emplace_back(field, value.as_integer());
            }
            return true;
        }
        }
        return false;
    }

    void ParsePlanTable(const Value& root, Plan& plan)
    {
        if (!root.contains("plan")) {
            Error(1, "plan", "the file has no [plan] table");
            return;
        }
        const Value& table = root.at("plan");
        if (!table.is_table()) {
            Error(LineOf(table), "plan", "wants a table [plan]");
            return;
        }
        bool named = false;
        for (const auto& [key, v] : table.as_table()) {
            if (key == "name" || key == "revision" || key == "family") {
                // A revision may be written as a number.
                std::string text;
                if (v.is_string())
                    text = v.as_string().str;
                else if (key == "revision" && v.is_integer())
                    text = std::to_string(v.as_integer());
                else {
                    Error(LineOf(v), key, std::string("wants a text, not ") + TypeFound(v));
                    continue;
                }
                if (key == "name") {
                    plan.name = text;
                    named = !text.empty();
                } else if (key == "revision") {
                    plan.revision = text;
                } else if (text == "torvik" || text == "quenra" || text == "linear") {
                    plan.family = text;
                } else {
                    Error(LineOf(v), key, "\"" + text + "\" is no family: torvik, quenra or linear");
                }
            } else if (key == "stop_on_fail") {
                if (!v.is_boolean())
                    Error(LineOf(v), key, std::string("wants true or false, not ") + TypeFound(v));
                else
                    plan.stopOnFail = v.as_boolean();
            } else {
                Error(LineOf(v), key, "unknown key in [plan] (name, revision, family, stop_on_fail)");
            }
        }
        if (!named)
            Error(LineOf(table), "name", "the plan needs a name");
    }

    void ParseStep(const Value& v, int index, Plan& plan)
    {
        PlanStep step;
        step.index = index;
        step.line = LineOf(v);
        if (!v.is_table()) {
            Error(step.line, "step", "wants a table [[step]]");
            return;
        }
        const auto& table = v.as_table();
        const auto kindIt = table.find("kind");
        if (kindIt == table.end()) {
            Error(step.line, "kind", "the step has no kind");
            return;
        }
        if (!kindIt->second.is_string()) {
            Error(LineOf(kindIt->second), "kind", std::string("wants a text, not ") + TypeFound(kindIt->second));
            return;
        }
        step.kind = kindIt->second.as_string().str;
        const StepKind* kind = FindStepKind(step.kind);
        if (!kind) {
            std::string known;
            for (const StepKind& k : StepKinds())
                known += std::string(known.empty() ? "" : ", ") + k.kind;
            Error(LineOf(kindIt->second), "kind", "unknown kind \"" + step.kind + "\" (" + known + ")");
            return;
        }
        step.name = step.kind;
        const size_t before = errors_.size();
        for (const auto& [key, value] : table) {
            if (key == "kind")
                continue;
            if (key == "name") {
                if (!value.is_string())
                    Error(LineOf(value), key, std::string("wants a text, not ") + TypeFound(value));
                else
                    step.name = value.as_string().str;
                continue;
            }
            const StepParam* known = nullptr;
            for (const StepParam& p : kind->params)
                if (key == p.key)
                    known = &p;
            if (!known) {
                std::string known;
                for (const StepParam& p : kind->params)
                    known += std::string(known.empty() ? "" : ", ") + p.key;
                Error(LineOf(value), key,
                      "unknown key for a " + step.kind + " step" + (known.empty() ? "" : " (" + known + ")"));
                continue;
            }
            ParamValue param;
            if (Read(key, value, known->type, param))
                step.params.emplace(key, std::move(param));
        }
        if (errors_.size() != before)
            return;
        if (kind->check)
            for (const ParamFault& fault : kind->check(step)) {
                const ParamValue* p = step.Find(fault.key.substr(0, fault.key.find('.')));
                Error(p ? p->line : step.line, fault.key, fault.message);
            }
        plan.steps.push_back(std::move(step));
    }

    void ParseSteps(const Value& root, Plan& plan)
    {
        if (!root.contains("step")) {
            Error(0, "step", "the plan has no [[step]]");
            return;
        }
        const Value& steps = root.at("step");
        if (!steps.is_array()) {
            Error(LineOf(steps), "step", "wants [[step]] tables");
            return;
        }
        int index = 0;
        for (const Value& v : steps.as_array())
            ParseStep(v, index++, plan);
    }

    void CheckTopLevel(const Value& root)
    {
        for (const auto& [key, v] : root.as_table())
            if (key != "plan" && key != "step")
                Error(LineOf(v), key, "unknown table or key (a plan has [plan] and [[step]])");
    }

    std::vector<PlanError> TakeErrors() { return std::move(errors_); }

private:
    std::string file_;
    std::vector<PlanError> errors_;
};

std::string DirectoryOf(const std::string& file)
{
    const size_t slash = file.rfind('/');
    return slash == std::string::npos ? std::string() : file.substr(0, slash + 1);
}

} // namespace

const ParamValue* PlanStep::Find(const std::string& key) const
{
    const auto it = params.find(key);
    return it == params.end() ? nullptr : &it->second;
}

double PlanStep::Number(const std::string& key, double fallback) const
{
    const ParamValue* p = Find(key);
    return p ? p->number : fallback;
}

std::optional<double> PlanStep::OptionalNumber(const std::string& key) const
{
    const ParamValue* p = Find(key);
    return p ? std::optional<double>(p->number) : std::nullopt;
}

std::string PlanStep::Text(const std::string& key, const std::string& fallback) const
{
    const ParamValue* p = Find(key);
    return p ? p->text : fallback;
}

std::string PlanError::Text() const
{
    std::string text = file;
    if (line > 0)
        text += ":" + std::to_string(line);
    text += ": ";
    if (!key.empty())
        text += key + ": ";
    return text + message;
}

std::string PlanParse::ErrorText() const
{
    std::string text;
    for (const PlanError& e : errors)
        text += e.Text() + "\n";
    return text;
}

PlanParse ParsePlan(std::string_view text, const std::string& fileName)
{
    PlanParse out;
    Plan plan;
    plan.file = fileName;
    plan.directory = DirectoryOf(fileName);
    plan.sha256 = Sha256Hex(text);
    Parser parser(fileName);
    try {
        std::istringstream stream{std::string(text)};
        const Value root = toml::parse<toml::discard_comments, std::map, std::vector>(stream, fileName);
        parser.CheckTopLevel(root);
        parser.ParsePlanTable(root, plan);
        parser.ParseSteps(root, plan);
    } catch (const toml::exception& e) {
        // toml11's own text carries the file, the line and a picture of it;
        // the first line is the cause.
        std::string what = e.what();
        const size_t end = what.find('\n');
        std::string cause = what.substr(0, end);
        if (cause.rfind("[error] ", 0) == 0)
            cause = cause.substr(8);
        parser.Error(static_cast<int>(e.location().line()), "", "not valid TOML: " + cause);
    } catch (const std::exception& e) {
        parser.Error(0, "", std::string("not valid TOML: ") + e.what());
    }
    out.errors = parser.TakeErrors();
    if (out.errors.empty())
        out.plan = std::move(plan);
    return out;
}

PlanParse LoadPlan(const std::string& fileName)
{
    std::ifstream in(fileName, std::ios::binary);
    if (!in) {
        PlanParse out;
        out.errors.push_back({fileName, 0, "", "cannot be read"});
        return out;
    }
    std::ostringstream bytes;
    bytes << in.rdbuf();
    PlanParse out = ParsePlan(bytes.str(), fileName);
    if (!out.plan)
        return out;
    // Files the steps name, before anything is sent.
    for (const PlanStep& step : out.plan->steps) {
        const ParamValue* file = step.Find("file");
        if (!file)
            continue;
        struct stat info {};
        const std::string path = PlanRelativePath(*out.plan, file->text);
        if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode))
            out.errors.push_back({fileName, file->line, "file", "\"" + path + "\" cannot be read"});
    }
    if (!out.errors.empty())
        out.plan.reset();
    return out;
}

std::string PlanRelativePath(const Plan& plan, const std::string& name)
{
    if (name.empty() || name[0] == '/')
        return name;
    return plan.directory + name;
}
