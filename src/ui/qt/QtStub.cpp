namespace comsweep::ui { void qtStub() {} }
