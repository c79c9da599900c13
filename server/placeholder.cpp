// Placeholder so the library has a source until the server client lands; delete it then.
