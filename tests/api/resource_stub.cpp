// A resource extension holds no code of interest; this one only has to load.
extern "C" int TillerTestResourceMarker() {
    return 1;
}
