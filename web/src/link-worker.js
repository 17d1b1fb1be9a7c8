// The link worker: reads a link's scene and writes a scene's link off the
// page's thread. A link of a few kilobytes may inflate to millions of
// characters; here that takes nothing from the page's own tasks. Texts
// travel as UTF-8 bytes, handed over, not copied: a string of sixteen
// million characters takes a tenth of a second to pass between threads.
//   {id, read: fragment}   -> {id, bytes} or {id, none: true} or {id, why}
//   {id, write: [bytes..]} -> {id, fragment}
import { LinkError, sceneFromFragment, sceneToFragment } from './share.js';

self.onmessage = async ({ data: m }) => {
  try {
    if ('read' in m) {
      const text = await sceneFromFragment(m.read);
      if (text === null) {
        self.postMessage({ id: m.id, none: true });
      } else {
        const bytes = new TextEncoder().encode(text);
        self.postMessage({ id: m.id, bytes }, [bytes.buffer]);
      }
    } else {
      self.postMessage({ id: m.id, fragment: await sceneToFragment(m.write) });
    }
  } catch (e) {
    self.postMessage({ id: m.id, why: e instanceof LinkError ? e.message : 'it is damaged' });
  }
};
