// Placeholder so the library has a source until the main window lands; delete it then.
