// The text cleaner: normalizes raw documents before they are tokenized.
//
// A Training cleaner strips corpus artefacts with the training table, then both
// modes apply the basic table and trim the text (see cleaning_rules.h).
//
// Thread-safety: a TextCleaner is immutable; any number of threads may use one
// at once.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string_view>

#include "pre_processor/cleaner/cleaning_rules.h"
#include "pre_processor/common/memory.h"

namespace pre_processor::cleaner {

enum class CleaningMode : std::uint8_t { Training = 0, Inference = 1 };

class TextCleaner {
 public:
  // Takes the rule tables of the mode. Only the first cleaner of a mode in the
  // process compiles anything; later ones copy references.
  explicit TextCleaner(CleaningMode mode);

  // 1. the training table (Training mode only), 2. the basic table, 3. White_Space
  // trimmed from both ends, 4. apostrophes and quotation marks (U+0027, U+0022)
  // trimmed from both ends; white space this uncovers stays. Never fails; a text
  // the steps leave alone comes back equal to the input.
  String clean(std::string_view text) const;

  // clean() of every text on the data-parallel pool; element i for text i.
  Vec<String> clean_batch(std::span<const String> texts) const;

  bool is_training_mode() const { return mode_ == CleaningMode::Training; }
  CleaningMode mode() const { return mode_; }

  // The shared compiled tables; the training table is null in Inference mode.
  const std::shared_ptr<const RuleTable>& training_rules() const { return training_rules_; }
  const std::shared_ptr<const RuleTable>& basic_rules() const { return basic_rules_; }

 private:
  std::shared_ptr<const RuleTable> training_rules_;
  std::shared_ptr<const RuleTable> basic_rules_;
  CleaningMode mode_;
};

// Steps 3 and 4 of clean(): the part of `text` left by the two trims.
std::string_view trim_cleaned_text(std::string_view text);

}  // namespace pre_processor::cleaner
