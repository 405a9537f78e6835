#include "cluster/share.h"

#include <sys/stat.h>

#include <cstdio>
#include <cstring>

#include "common/run_error.h"
#include "io/transaction.h"

namespace zub {

namespace {

constexpr int kBlockTag = 11;
constexpr int kEndTag = 12;
// A scattered block: this many ids (or transactions) at most.
constexpr std::size_t kBlockIds = std::size_t(1) << 20;

// Whether the file starts as gzip data does.
bool is_gzip(const std::string& path) {
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (f == nullptr) return false;
  unsigned char magic[2] = {0, 0};
  const bool gz = std::fread(magic, 1, 2, f) == 2 && magic[0] == 0x1f && magic[1] == 0x8b;
  std::fclose(f);
  return gz;
}

Failure plan_on_root(const std::string& infile, InputPlan& plan) {
  plan.name = infile;
  if (infile == "-") {
    plan.mode = InputPlan::Mode::scattered;
    return {};
  }
  struct stat st{};
  if (::stat(infile.c_str(), &st) != 0) return {kExitFile, infile + " could not be opened!"};
  if (S_ISDIR(st.st_mode)) {
    std::string why;
    if (!list_parts(infile, plan.files, why)) return {kExitFile, why + " could not be opened!"};
  } else if (S_ISREG(st.st_mode)) {
    plan.files = {{infile, static_cast<long long>(st.st_size)}};
  } else {
    plan.mode = InputPlan::Mode::scattered;  // a pipe or a device: read once, by one rank
    return {};
  }
  for (const InputFile& f : plan.files) {
    std::FILE* probe = std::fopen(f.path.c_str(), "r");
    if (probe == nullptr) return {kExitFile, f.path + " could not be opened!"};
    std::fclose(probe);
    if (is_gzip(f.path)) plan.mode = InputPlan::Mode::scattered;
  }
  return {};
}

}  // namespace

Failure plan_input(Comm& comm, const std::string& infile, InputPlan& plan) {
  Failure mine;
  if (comm.is_root()) mine = plan_on_root(infile, plan);
  // The plan as one text: mode, then each file's size and path.
  std::string text;
  if (comm.is_root()) {
    text.push_back(plan.mode == InputPlan::Mode::ranges ? 'r' : 's');
    for (const InputFile& f : plan.files) {
      text.append(std::to_string(f.size)).push_back(' ');
      text.append(f.path).push_back('\0');
    }
  }
  const Failure agreed = agree(comm, mine);
  if (agreed.failed()) return agreed;
  broadcast(comm, text, 0, Round::counting);
  if (!comm.is_root()) {
    plan.name = infile;
    plan.mode = text[0] == 'r' ? InputPlan::Mode::ranges : InputPlan::Mode::scattered;
    for (std::size_t at = 1; at < text.size();) {
      const std::size_t blank = text.find(' ', at), end = text.find('\0', blank);
      plan.files.push_back({text.substr(blank + 1, end - blank - 1), std::stoll(text.substr(at, blank - at))});
      at = end + 1;
    }
  }
  return {};
}

Share::Share(Comm& comm, const InputPlan& plan, bool names) : comm_(comm), plan_(plan) { options_.names = names; }

Share::~Share() = default;

Failure Share::open() {
  Failure mine;
  if (plan_.mode == InputPlan::Mode::ranges) {
    mine = attempt([&] {
      std::vector<FilePiece> pieces;
      std::string why;
      if (!share_of(plan_.files, comm_.rank, comm_.size, pieces, why)) throw RunError(kExitFile, why + " could not be read!");
      if (!options_.names) {
        ranges_ = std::make_unique<RangeShare>(std::move(pieces));
        return;
      }
      stream_ = std::make_unique<PieceStream>(std::move(pieces));
      if (!stream_->failed_path().empty()) throw RunError(kExitFile, stream_->failed_path() + " could not be opened!");
      if (stream_->stream() == nullptr) throw RunError(kExitFile, plan_.name + " could not be opened!");
    });
  } else if (comm_.is_root()) {
    mine = attempt([&] { scatter_from_root(); });
  } else {
    mine = attempt([&] { receive_blocks(); });
  }
  return agree(comm_, mine);
}

std::unique_ptr<Data> Share::pass() {
  if (plan_.mode == InputPlan::Mode::scattered)
    return std::make_unique<Data>(std::span<const int>(ids_), std::span<const std::uint32_t>(lengths_),
                                  plan_.name.c_str());
  std::fseek(stream_->stream(), 0, SEEK_SET);
  return std::make_unique<Data>(stream_->stream(), plan_.name.c_str(), options_);
}

// Rank 0 reads the whole stream once and sends its transactions in blocks,
// block b to rank b mod size; it keeps its own. A failure still sends every
// rank its end, so that all reach the agreement.
void Share::scatter_from_root() {
  const bool stdin_input = plan_.name == "-";
  Data::Options once = options_;
  once.single_pass = true;
  std::unique_ptr<Data> data = stdin_input ? std::make_unique<Data>(stdin, "standard input", once)
                                           : std::make_unique<Data>(plan_.name.c_str(), once);
  int to = 0;
  std::vector<int> block;  // transactions, lengths..., ids...
  std::vector<std::uint32_t> lens;
  std::vector<int> ids;
  auto send_block = [&] {
    if (lens.empty()) return;
    if (to == 0) {
      ids_.insert(ids_.end(), ids.begin(), ids.end());
      lengths_.insert(lengths_.end(), lens.begin(), lens.end());
    } else {
      block.assign(1, static_cast<int>(lens.size()));
      block.insert(block.end(), lens.begin(), lens.end());
      block.insert(block.end(), ids.begin(), ids.end());
      MPI_Send(block.data(), static_cast<int>(block.size()), MPI_INT, to, kBlockTag, MPI_COMM_WORLD);
      comm_.count(Round::transactions, static_cast<long long>(block.size() * sizeof(int)));
    }
    lens.clear();
    ids.clear();
    to = (to + 1) % comm_.size;
  };
  struct Ends {  // every rank gets its end, however the reading ends
    const Comm& comm;
    ~Ends() {
      for (int r = 1; r < comm.size; ++r) MPI_Send(nullptr, 0, MPI_INT, r, kEndTag, MPI_COMM_WORLD);
    }
  } const ends{comm_};
  if (!data->isOpen()) throw RunError(kExitFile, plan_.name + " could not be opened!");
  Transaction t(50);
  while (data->getNextTransaction(&t) != nullptr) {
    lens.push_back(static_cast<std::uint32_t>(t.length));
    ids.insert(ids.end(), t.items, t.items + t.length);
    if (ids.size() >= kBlockIds || lens.size() >= kBlockIds) send_block();
  }
  send_block();
  has_ids_ = data->has_ids();
  words_without_ids_ = data->words_without_ids();
  words_ = data->take_names();
}

void Share::receive_blocks() {
  std::vector<int> block;
  for (;;) {
    MPI_Status status;
    MPI_Probe(0, MPI_ANY_TAG, MPI_COMM_WORLD, &status);
    int count = 0;
    MPI_Get_count(&status, MPI_INT, &count);
    block.resize(static_cast<std::size_t>(count));
    MPI_Recv(block.data(), count, MPI_INT, 0, status.MPI_TAG, MPI_COMM_WORLD, MPI_STATUS_IGNORE);
    if (status.MPI_TAG == kEndTag) return;
    const auto n = static_cast<std::size_t>(block[0]);
    lengths_.insert(lengths_.end(), block.begin() + 1, block.begin() + 1 + static_cast<std::ptrdiff_t>(n));
    ids_.insert(ids_.end(), block.begin() + 1 + static_cast<std::ptrdiff_t>(n), block.end());
  }
}

void Share::note_first_pass(const RangeShare& ranges) {
  has_ids_ = ranges.has_ids();
  words_without_ids_ = ranges.words_without_ids();
}

void Share::note_first_pass(Data& data) {
  if (plan_.mode != InputPlan::Mode::ranges) return;
  has_ids_ = data.has_ids();
  words_without_ids_ = data.words_without_ids();
  words_ = data.take_names();
}

Failure Share::name_failure(const Failure& mine) {
  // Each rank's lines in each file: a rank holds at most one range of a file.
  const std::size_t files = plan_.files.size();
  std::vector<long long> lines(files, 0), all(files * static_cast<std::size_t>(comm_.size), 0);
  const std::vector<FilePiece>* pieces = ranges_ ? &ranges_->pieces() : stream_ ? &stream_->pieces() : nullptr;
  const std::vector<long long>* counted = ranges_ ? &ranges_->lines() : stream_ ? &stream_->lines() : nullptr;
  if (pieces != nullptr) {
    for (std::size_t p = 0; p < pieces->size(); ++p)
      for (std::size_t f = 0; f < files; ++f)
        if (plan_.files[f].path == (*pieces)[p].path) lines[f] = (*counted)[p];
  }
  MPI_Allgather(lines.data(), static_cast<int>(files), MPI_LONG_LONG, all.data(), static_cast<int>(files),
                MPI_LONG_LONG, MPI_COMM_WORLD);
  if (!mine.failed() || pieces == nullptr || pieces->empty()) return mine;
  // The lines of the earlier ranks' ranges of a file.
  const auto before = [&](const std::string& path) {
    long long n = 0;
    for (std::size_t f = 0; f < files; ++f)
      if (plan_.files[f].path == path)
        for (int r = 0; r < comm_.rank; ++r) n += all[static_cast<std::size_t>(r) * files + f];
    return n;
  };
  Failure named = mine;
  if (ranges_ != nullptr) {  // "<file>, line L: ..." counts the lines of the file's piece
    for (const FilePiece& p : *pieces) {
      const std::string lead = p.path + ", line ";
      if (mine.message.rfind(lead, 0) != 0) continue;
      const std::size_t colon = mine.message.find(':', lead.size());
      const long long line = std::stoll(mine.message.substr(lead.size(), colon - lead.size())) + before(p.path);
      named.message = lead + std::to_string(line) + mine.message.substr(colon);
      break;
    }
    return named;
  }
  // "<name>, line L: ..." counts the lines of the share: they become the
  // lines of the piece's file; "<name> could not be read!" names the file.
  const std::string lead = plan_.name + ", line ";
  int piece = 0;
  long long line = 0;
  if (mine.message.rfind(lead, 0) == 0) {
    const std::size_t colon = mine.message.find(':', lead.size());
    stream_->locate(std::stoll(mine.message.substr(lead.size(), colon - lead.size())), piece, line);
    const std::string& path = stream_->pieces()[static_cast<std::size_t>(piece)].path;
    named.message = path + ", line " + std::to_string(line + before(path)) + mine.message.substr(colon);
  } else if (mine.message.rfind(plan_.name + " ", 0) == 0) {
    stream_->locate(1LL << 62, piece, line);
    named.message = stream_->pieces()[static_cast<std::size_t>(piece)].path + mine.message.substr(plan_.name.size());
  }
  return named;
}

}  // namespace zub
