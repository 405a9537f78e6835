#pragma once
// Each rank's share of the input. A file (or a folder of part files) that
// every rank can open at the same path is split into byte ranges cut at
// line starts (io/line_ranges.h): each rank reads only its own, as often as
// a pass needs. Standard input and gzip data cannot be split so: rank 0
// reads them and sends the transactions in blocks, round robin, and each
// rank keeps the blocks it got in memory. A file of ids (not names) is read
// by the byte-range parser (share_ranges.h), other text as a stream.
#include <memory>
#include <string>
#include <vector>

#include "cluster/comm.h"
#include "cluster/share_ranges.h"
#include "io/data.h"
#include "io/line_ranges.h"

namespace zub {

struct InputPlan {
  enum class Mode { ranges, scattered };
  Mode mode = Mode::ranges;
  std::string name;              // as given: a file, a folder, or "-"
  std::vector<InputFile> files;  // ranges: the file, or the folder's parts
};

// Rank 0 looks at the input (a folder's parts, gzip's first bytes) and every
// rank gets the plan; a failure (an input that cannot be opened) is agreed
// on. Collective.
Failure plan_input(Comm& comm, const std::string& infile, InputPlan& plan);

class Share {
 public:
  Share(Comm& comm, const InputPlan& plan, bool names);
  ~Share();
  Share(const Share&) = delete;
  Share& operator=(const Share&) = delete;

  // Opens the share; a scattered input is read and sent out by rank 0
  // meanwhile. Collective; the failure of any rank is agreed on.
  Failure open();
  // A reader of the share from its start, for one pass (a share read as a
  // stream, when ranges() is null).
  std::unique_ptr<Data> pass();
  // The share read in byte ranges, or null.
  RangeShare* ranges() { return ranges_.get(); }
  // The first pass's failure as zub-mine names it: a line of a range is
  // numbered within its file, which needs the lines of the earlier ranks'
  // ranges. Collective (each rank gives its line counts).
  Failure name_failure(const Failure& mine);
  // Takes from the first pass's reader what it learnt of the text.
  void note_first_pass(Data& data);
  void note_first_pass(const RangeShare& ranges);
  // The words read, by the share's own ids (names only; a scattered
  // input's ids are rank 0's, its words all there).
  std::vector<std::string>& words() { return words_; }
  bool ids_are_global() const { return plan_.mode == InputPlan::Mode::scattered; }
  bool has_ids() const { return has_ids_; }
  // The input's name in messages ("standard input" for "-").
  std::string name() const { return plan_.name == "-" ? "standard input" : plan_.name; }
  bool words_without_ids() const { return words_without_ids_; }

 private:
  void scatter_from_root();
  void receive_blocks();

  Comm& comm_;
  const InputPlan& plan_;
  Data::Options options_;
  std::unique_ptr<PieceStream> stream_;
  std::unique_ptr<RangeShare> ranges_;
  std::vector<int> ids_;               // a scattered share's transactions
  std::vector<std::uint32_t> lengths_;
  std::vector<std::string> words_;
  bool has_ids_ = false;
  bool words_without_ids_ = false;
};

}  // namespace zub
