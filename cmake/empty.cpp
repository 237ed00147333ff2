// The translation unit that the precompiled headers of a kind are made for.
