// How the picture is shown in its pane: fitted into it (never enlarged), or
// at a zoom where 1 is one canvas pixel per CSS pixel. The canvas keeps the
// picture's own pixels; only their displayed size changes, so nothing is
// drawn again. A picture bigger than the pane scrolls from its top left corner.
const ZOOMS = [0.125, 0.25, 0.5, 1, 2, 4, 8];

export class PictureView {
  // picture: what is shown (its width and height), in `holder`.
  constructor({ pane, holder, picture, fit, actual, zoomIn, zoomOut, zoomText }) {
    Object.assign(this, { pane, holder, picture, fitButton: fit, zoomText });
    this.fit = true;
    this.zoom = 1;
    fit.addEventListener('click', () => this.setFit());
    actual.addEventListener('click', () => this.setZoom(1));
    zoomIn.addEventListener('click', () => this.step(1));
    zoomOut.addEventListener('click', () => this.step(-1));
    new ResizeObserver(() => this.layout()).observe(pane);
    this.layout();
  }

  setFit() {
    this.fit = true;
    this.layout();
  }

  setZoom(zoom) {
    this.fit = false;
    this.zoom = zoom;
    this.layout();
  }

  // The next zoom in or out from the scale shown now.
  step(direction) {
    const now = this.scale();
    const next =
      direction > 0 ? ZOOMS.find((z) => z > now + 1e-6) : [...ZOOMS].reverse().find((z) => z < now - 1e-6);
    this.setZoom(next ?? now);
  }

  // The scale that fits the picture into the pane, 1 at most.
  fitScale() {
    const style = getComputedStyle(this.pane);
    const w = this.pane.clientWidth - parseFloat(style.paddingLeft) - parseFloat(style.paddingRight);
    const h = this.pane.clientHeight - parseFloat(style.paddingTop) - parseFloat(style.paddingBottom);
    const { width, height } = this.picture;
    if (width <= 0 || height <= 0 || w <= 0 || h <= 0) return 1;
    return Math.min(1, w / width, h / height);
  }

  scale() {
    return this.fit ? this.fitScale() : this.zoom;
  }

  layout() {
    const scale = this.scale();
    this.holder.style.width = `${(this.picture.width * scale).toFixed(2)}px`;
    this.holder.style.height = `${(this.picture.height * scale).toFixed(2)}px`;
    this.holder.classList.toggle('reduced', scale < 1);
    this.fitButton.setAttribute('aria-pressed', String(this.fit));
    this.zoomText.textContent = `${Math.round(scale * 100)} %`;
  }
}
