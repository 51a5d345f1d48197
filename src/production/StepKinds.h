#pragma once
// The kinds of plan steps. Each kind is one function over the session and
// the existing actions, and one line in the table: its keys with their
// types, a check of its values beyond their types, and the function.

#include "production/Plan.h"
#include "records/RunRecord.h"

#include <string>
#include <string_view>
#include <vector>

struct StepContext;

struct StepParam {
    const char* key;
    ParamType type;
};

// A fault in a step's values the types cannot show: the key and what is wrong.
struct ParamFault {
    std::string key;
    std::string message;
};

using StepFunction = StepRecord (*)(StepContext& context, const PlanStep& step);
using StepCheck = std::vector<ParamFault> (*)(const PlanStep& step);

struct StepKind {
    const char* kind;
    std::vector<StepParam> params; // besides "kind" and "name", which every step has
    StepCheck check;               // may be null
    StepFunction run;
};

// Every kind, in the order a plan usually runs them.
const std::vector<StepKind>& StepKinds();
const StepKind* FindStepKind(std::string_view kind);
