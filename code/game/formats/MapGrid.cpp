// The map grid and the ".map" loader. Map files arrive inside dream archives
// from the network: sizes are bounded and computed in 64 bits, and a short
// or missing body leaves the missing cells empty instead of reading past the
// end.
#include "game/formats/MapGrid.h"

#include <cctype>
#include <climits>
#include <fstream>
#include <new>

#include "foundation/LogFile.h"
#include "foundation/Platform.h"
#include "foundation/StartupOrder.h"
#include "foundation/Utility.h"
#include "game/formats/LocalFiles.h"

QV_STARTUP_MARK(kRowMapGrid, "MapGrid");
std::vector<MapCell> MapGrid QV_STARTUP(kRowMapGrid);

namespace {

struct MapState {
  bool loaded;
  int gridWidth;
  int gridHeight;
  int fileWidth;
  int fileHeight;
};
MapState s_map;  // zero before anything runs: no map
unsigned s_generation;

// A map with many cells left of the grid would otherwise write one log line
// per cell, hundreds of thousands for a hostile file.
constexpr int kMaxNegativeCellReports = 1000;

MapCell* CellAt(int x, int y) {
  if (x < 0 || y < 0 || x >= s_map.gridWidth || y >= s_map.gridHeight) return nullptr;
  return &MapGrid[size_t(x) + size_t(y) * size_t(s_map.gridWidth)];
}

// atoi without its undefined behaviour: values beyond int saturate.
int ParseInt(const std::string& text) {
  size_t i = 0;
  while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  long long value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    value = value * 10 + (text[i] - '0');
    if (value > INT_MAX) value = static_cast<long long>(INT_MAX) + 1;
  }
  if (negative) value = -value;
  if (value > INT_MAX) return INT_MAX;
  if (value < INT_MIN) return INT_MIN;
  return static_cast<int>(value);
}

int ToInt32(int64_t value) { return static_cast<int>(static_cast<uint32_t>(value)); }

}  // namespace

void Deskew(int x, int y, int* gridX, int* gridY) {
  const int64_t h = s_map.fileHeight;
  *gridX = ToInt32(int64_t(x) + int64_t(y) / 2);
  *gridY = ToInt32((int64_t(y) + 1) / 2 + 2 * h - x);
}

void Reskew(int gridX, int gridY, int* x, int* y) {
  const int64_t h = s_map.fileHeight;
  *y = ToInt32(int64_t(gridX) + gridY - 2 * h);
  *x = ToInt32((int64_t(gridX) - gridY + 2 * h + 1) / 2);
}

void GetMapSize(int* width, int* height) {
  *width = s_map.gridWidth;
  *height = s_map.gridHeight;
}

bool IsMapLoaded() { return s_map.loaded; }

unsigned GetMapGeneration() { return s_generation; }

int GetMapFloor(int x, int y) {
  const MapCell* cell = CellAt(x, y);
  return cell ? cell->floor : kOutsideFloor;
}

void SetMapFloor(int x, int y, int floor) {
  if (MapCell* cell = CellAt(x, y)) cell->floor = static_cast<uint16_t>(floor);
}

int GetMapObject(int x, int y) {
  const MapCell* cell = CellAt(x, y);
  return cell ? cell->object : 0;
}

void SetMapObject(int x, int y, int object) {
  if (MapCell* cell = CellAt(x, y)) cell->object = static_cast<uint16_t>(object);
}

int GetWallYEdge(int x, int y) {
  const MapCell* cell = CellAt(x, y);
  return cell ? cell->wallYEdge : 0;
}

int GetWallXEdge(int x, int y) {
  const MapCell* cell = CellAt(x, y);
  return cell ? cell->wallXEdge : 0;
}

void SetWallYEdge(int x, int y, int value) {
  if (MapCell* cell = CellAt(x, y)) cell->wallYEdge = static_cast<int8_t>(value);
}

void SetWallXEdge(int x, int y, int value) {
  if (MapCell* cell = CellAt(x, y)) cell->wallXEdge = static_cast<int8_t>(value);
}

bool LoadMap(const std::string& path) {
  s_map.loaded = false;
  s_map.gridWidth = s_map.gridHeight = 0;
  std::vector<MapCell>().swap(MapGrid);
  ++s_generation;  // from here on the grid is another one, whatever follows

  std::ifstream in(LocalPath(path), std::ios::in | std::ios::binary);
  if (!in) {
    ErrorLog << "Failed to load vant .map file: " << path << "\n";
    return false;
  }
  std::string line;
  std::getline(in, line);
  if (line != "MAP V01.10 Vantrell") {
    ErrorLog << "Warning: Unrecognized map version found in map file: " << path << "\n"
             << "  -load may potentially be invalid.\n"
             << "  -version=" << line << "\n";
  }

  // A header without "BODY" runs to the end of the file: the body then finds
  // no bytes and the map loads empty, rather than failing the dream that
  // holds it.
  int width = 0, height = 0;
  std::vector<std::string> pieces;
  while (std::getline(in, line)) {
    Tokenize(line, pieces, "=");
    if (pieces.size() == 2) {
      if (pieces[0] == "width") {
        width = ParseInt(pieces[1]);
      } else if (pieces[0] == "height") {
        height = ParseInt(pieces[1]);
      } else if (pieces[0] == "encoded" && pieces[1][0] == '1') {
        ShowMessageBox(g_mainWindow, "This map is encrypted.  Encrypted dreams are not yet supported.",
                       "Evil Encrypted Dreams...", kMessageBoxOk);
        return false;
      }
    }
    if (!pieces.empty() && pieces[0] == "BODY") break;
  }

  s_map.fileWidth = width;
  s_map.fileHeight = height;
  if (width <= 0 || height <= 0 || int64_t(width) + height > kMaxMapWidthPlusHeight) {
    ErrorLog << "map dimensions loaded from file are bad: " << width << "x" << height << "\n";
    return false;
  }

  const int grid = 2 * width + 2 * height;
  const size_t cells = size_t(grid) * size_t(grid);
  const size_t plane = 2 * size_t(width) * size_t(height);  // bytes of floors, of objects, of walls
  std::vector<unsigned char> body;
  try {
    MapGrid.assign(cells, MapCell{0xFFFF, 0, 0, 0});
    body.resize(3 * plane);
  } catch (const std::bad_alloc&) {
    std::vector<MapCell>().swap(MapGrid);
    ErrorLog << "Not enough memory for the map in " << path << "\n";
    return false;
  }
  s_map.gridWidth = s_map.gridHeight = grid;

  in.clear();
  in.read(reinterpret_cast<char*>(body.data()), static_cast<std::streamsize>(body.size()));
  const size_t got = static_cast<size_t>(in.gcount());
  if (got < body.size()) {
    ErrorLog << "Map file body is shorter than its header promises (" << std::to_string(got) << " of "
             << std::to_string(body.size()) << " bytes); the missing cells stay empty: " << path << "\n";
  }

  int negativeCells = 0;
  size_t at = 0;  // byte offset of the current value in its plane
  for (int x = 0; x < width; ++x) {
    for (int y = 0; y < height; ++y, at += 2) {
      int gx, gy;
      Deskew(x, y, &gx, &gy);
      if (gx < 0 || gy < 0) {
        if (++negativeCells <= kMaxNegativeCellReports)
          ErrorLog << "coord less than 0 after deskew transform while loading map " << path << "\n";
        continue;
      }
      MapCell* cell = CellAt(gx, gy);
      if (!cell) continue;
      if (at + 2 <= got) cell->floor = static_cast<uint16_t>(body[at] | body[at + 1] << 8);
      if (plane + at + 2 <= got) cell->object = static_cast<uint16_t>(body[plane + at] | body[plane + at + 1] << 8);
    }
  }
  if (negativeCells > kMaxNegativeCellReports) {
    ErrorLog << "  -" << negativeCells - kMaxNegativeCellReports
             << " more cells had a coord less than 0 after deskew transform\n";
  }

  // Walls: per file column, H bytes of x-edge walls, then H of y-edge walls.
  size_t wall = 2 * plane;
  for (int x = 0; x < width; ++x) {
    for (int edge = 0; edge < 2; ++edge) {
      for (int y = 0; y < height; ++y, ++wall) {
        if (wall >= got) continue;
        int gx, gy;
        Deskew(x, y, &gx, &gy);
        if (MapCell* cell = CellAt(gx, gy)) {
          int8_t value = static_cast<int8_t>(body[wall]);
          (edge == 0 ? cell->wallXEdge : cell->wallYEdge) = value;
        }
      }
    }
  }

  s_map.loaded = true;
  return true;
}
