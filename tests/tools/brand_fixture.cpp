// A stand-in for the assistant in the branding tests: it carries a THEME 129
// resource (brand_fixture.rc) and exits with a known code, so a branded copy
// can be shown to still run.
int main() { return 42; }
